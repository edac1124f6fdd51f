// applyTranslation over a small tree with one control of every kind.
#include "app/form2.h"
#include "app/shape_dialog.h"
#include "app/localization.h"
#include "app/translation.h"
#include "app/widgets/labeled_edit.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/static_text.h"
#include "app/widgets/value_list_editor.h"
#include "support/qt_fakes.h"
#include "ui_TmainForm.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vorkel {
namespace {

QByteArray tableOf(const QString& rows) {
    const QString text = "name,a,b,c,d\r\n,19,9,16,40A\r\nLanguageChangeWarning,w,w,w,w\r\n" + rows;
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

template <typename T> T* add(QWidget* parent, const char* name) {
    auto* widget = new T(parent);
    widget->setObjectName(name);
    parent->layout()->addWidget(widget);
    return widget;
}

TEST(ApplyTranslation, setsEachKindOfControlFromItsKeys) {
    test::RecordingBoxes boxes;
    Localization localization(boxes);
    localization.loadTranslation(tableOf("addressedit.sublabel,x,Sensor address,x,x\r\n"
                                         "ADDRESSEDIT,x,unread,x,x\r\n"
                                         "onlyName,x,Both,x,x\r\n"
                                         "mode,x,Output mode,x,x\r\nmode.Item1,x,frequency,x,x\r\n"
                                         "grid.Column1,x,Values,x,x\r\n"
                                         "page2,x,Second page,x,x\r\n"
                                         "combo.Item0,x,off,x,x\r\ncombo,x,NOT USED,x,x\r\n"
                                         "check,x,auto push data,x,x\r\n"
                                         "plain,x,A label,x,x\r\nstatic,x,A static text,x,x\r\n"
                                         "button,x,Press,x,x\r\ngroup,x,A group,x,x\r\n"
                                         "panel,x,NOT USED,x,x\r\nedit,x,NOT USED,x,x\r\n"),
                                 0x09);

    QWidget root;
    root.setObjectName("root");
    new QVBoxLayout(&root);
    auto* address = add<TLabeledEdit>(&root, "addressEdit");
    auto* onlyName = add<TLabeledEdit>(&root, "onlyName");
    auto* mode = add<TRadioGroup>(&root, "mode");
    mode->setItems({"аналоговый", "частотный"});
    auto* grid = add<TValueListEditor>(&root, "grid");
    grid->setKeyTitle("Значения");
    auto* pages = add<QTabWidget>(&root, "pages");
    auto* page1 = new QWidget;
    page1->setObjectName("page1");
    auto* page2 = new QWidget;
    page2->setObjectName("page2");
    pages->addTab(page1, "Первая");
    pages->addTab(page2, "Вторая");
    auto* combo = add<QComboBox>(&root, "combo");
    combo->addItems({"выкл", "2 с"});
    auto* check = add<QCheckBox>(&root, "check");
    auto* group = add<QGroupBox>(&root, "group");
    new QVBoxLayout(group);
    auto* plain = add<QLabel>(group, "plain"); // inside a container: reached by the walk
    auto* staticText = add<TStaticText>(group, "static");
    auto* button = add<QPushButton>(group, "button");
    auto* panel = add<QWidget>(&root, "panel");
    auto* edit = add<QLineEdit>(&root, "edit");
    edit->setText("design");

    localization.applyTranslation(&root);

    EXPECT_EQ(address->labelText(), "Sensor address");
    EXPECT_EQ(address->text(), "unread");
    EXPECT_EQ(onlyName->labelText(), "Both"); // only <Name>: on the label and in the edit
    EXPECT_EQ(onlyName->text(), "Both");
    EXPECT_EQ(mode->title(), "Output mode");
    EXPECT_EQ(mode->itemText(0), "аналоговый");
    EXPECT_EQ(mode->itemText(1), "frequency");
    EXPECT_EQ(grid->keyTitle(), "Значения");
    EXPECT_EQ(grid->valueTitle(), "Values");
    EXPECT_EQ(pages->tabText(0), "Первая");
    EXPECT_EQ(pages->tabText(1), "Second page");
    EXPECT_EQ(combo->itemText(0), "off");
    EXPECT_EQ(combo->itemText(1), "2 с");
    EXPECT_EQ(check->text(), "auto push data");
    EXPECT_EQ(plain->text(), "A label");
    EXPECT_EQ(staticText->text(), "A static text");
    EXPECT_EQ(button->text(), "Press");
    EXPECT_EQ(group->title(), "A group");
    EXPECT_EQ(panel->windowTitle(), "");
    EXPECT_EQ(edit->text(), "design");
}

// The text a control key put on its control, read back from the part of the control that its
// suffix names; nullopt when the key fits no control of the window (unknown name, a kind that
// takes no text of that part, an item or column index out of range).
std::optional<QString> shownText(const std::multimap<QString, QWidget*>& controls,
                                 const QString& key) {
    static const QRegularExpression kPart(R"(^([^.]+)(?:\.(SubLabel|Item|Column)(\d*))?$)");
    const QRegularExpressionMatch match = kPart.match(key);
    if (!match.hasMatch() || controls.count(match.captured(1).toLower()) != 1) {
        return std::nullopt;
    }
    QWidget* control = controls.find(match.captured(1).toLower())->second;
    const QString part = match.captured(2);
    const int index = match.captured(3).isEmpty() ? -1 : match.captured(3).toInt();
    if (part == "SubLabel" && index < 0) {
        if (auto* edit = qobject_cast<TLabeledEdit*>(control)) {
            return edit->labelText();
        }
    } else if (part == "Item" && index >= 0) {
        if (auto* radio = qobject_cast<TRadioGroup*>(control);
            radio && index < radio->itemCount()) {
            return radio->itemText(index);
        }
        if (auto* combo = qobject_cast<QComboBox*>(control); combo && index < combo->count()) {
            return combo->itemText(index);
        }
    } else if (part == "Column" && index >= 0) {
        if (auto* grid = qobject_cast<TValueListEditor*>(control);
            grid && index < grid->columnCount()) {
            return grid->columnTitle(index);
        }
    } else if (part.isEmpty()) {
        QWidget* stack = control->parentWidget();
        if (auto* pages = qobject_cast<QTabWidget*>(stack ? stack->parentWidget() : nullptr);
            pages && pages->indexOf(control) >= 0) {
            return pages->tabText(pages->indexOf(control));
        }
        if (auto* edit = qobject_cast<TLabeledEdit*>(control)) {
            return edit->text();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            return button->text();
        }
        if (auto* label = qobject_cast<QLabel*>(control)) {
            return label->text();
        }
        if (auto* group = qobject_cast<QGroupBox*>(control)) {
            return group->title();
        }
    }
    return std::nullopt;
}

// Every control key of the shipped table lands on a control of a fitting kind in one of the two
// windows: a key that names a renamed control, or a control of another kind, would silently
// leave the Russian design text in place.
TEST(ShippedControlKeys, eachLandsOnAControlOfAFittingKind) {
    test::RecordingBoxes boxes;
    Localization localization(boxes);
    localization.loadTranslation(test::shippedTranslation(), 0x409);

    QMainWindow mainWindow;
    Ui::TmainForm mainUi;
    mainUi.setupUi(&mainWindow);
    localization.applyTranslation(&mainWindow);
    TForm2 dialog(localization);
    ShapeDialog shapeDialog(localization);
    std::multimap<QString, QWidget*> controls; // by lower-cased name, as keys are compared
    for (QWidget* root : {static_cast<QWidget*>(&mainWindow), static_cast<QWidget*>(&dialog),
                          static_cast<QWidget*>(&shapeDialog)}) {
        for (QWidget* control : root->findChildren<QWidget*>()) {
            if (!control->objectName().isEmpty()) {
                controls.emplace(control->objectName().toLower(), control);
            }
        }
    }

    // Rows that name no control: messages, the restart warnings, the dialogs' titles and filters
    // (applied by the window's start-up), and three help texts that nothing shows.
    static const QRegularExpression kNotAControl(
        "^(rs[A-Z].*|LanguageChangeWarning|Form2|(OpenFlashDialog|SavetableDialog)(\\.Filter)?|"
        "addresshelplabel|rs485label1023|rs485label4095)$");
    std::ifstream source(VORKEL_TRANSLATION_SOURCE);
    std::string line;
    std::getline(source, line); // header
    std::getline(source, line); // locale row
    int checked = 0;
    while (std::getline(source, line) && !line.empty()) {
        const QString key = QString::fromStdString(line.substr(0, line.find(','))).trimmed();
        if (kNotAControl.match(key).hasMatch()) {
            continue;
        }
        const std::optional<QString> shown = shownText(controls, key);
        EXPECT_TRUE(shown.has_value()) << key.toStdString() << " fits no control";
        EXPECT_EQ(shown.value_or("").toStdString(), localization.getTranslation(key).toStdString())
            << key.toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 100);
    EXPECT_EQ(dialog.windowTitle(), "Technological multiplier compute");
}

// The program carries the table as the encoder writes it from the UTF-8 source, the form that
// shell_tests check.
TEST(ShippedTranslation, isTheEncodedSource) {
    std::ifstream in(VORKEL_TRANSLATION_SOURCE, std::ios::binary);
    const std::string source{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::optional<std::vector<std::uint8_t>> encoded = encodeTranslationTable(source);
    const std::optional<QByteArray> shipped = test::shippedTranslation();
    ASSERT_TRUE(encoded && shipped);
    EXPECT_EQ(std::vector<std::uint8_t>(shipped->begin(), shipped->end()), *encoded);
}

TEST(ErrorAndWarningBoxes, takeTheirTitlesFromTheList) {
    test::RecordingBoxes boxes;
    Localization localization(boxes);
    localization.loadTranslation(test::shippedTranslation(), 0x409);
    localization.showErrorBox("No response from sensor!");
    localization.showWarningBox("Calibration file not saved!");
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].title, " Error!");
    EXPECT_EQ(boxes.shown[1].title, " Warning");
    EXPECT_EQ(boxes.shown[1].text, "Calibration file not saved!");
}

// A box may carry text from outside the program (the name another process gave itself, a file
// name): markup in it is shown as it is, never followed.
TEST(RealBoxes, showTheirTextAsPlainText) {
    QtMessageBoxes boxes;
    const QString text = QStringLiteral("<a href=x>ModemManager</a>");
    const std::function<void()> shows[] = {
        [&] { boxes.stop("t", text); },
        [&] { boxes.confirm("t", text); },
        [&] { boxes.selfClosingInformation("t", text); },
        [&] { boxes.notice("t", text); },
    };
    for (std::size_t i = 0; i < std::size(shows); ++i) {
        std::optional<Qt::TextFormat> format;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr) {
                format = box->textFormat();
                EXPECT_EQ(box->text(), text);
                box->close();
            }
        });
        shows[i]();
        EXPECT_EQ(format, Qt::PlainText) << "box " << i;
    }
}

} // namespace
} // namespace vorkel
