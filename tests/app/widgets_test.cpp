#include "app/trend_plot.h"
#include "app/widgets/labeled_edit.h"
#include "app/widgets/paint_box.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/up_down.h"
#include "app/widgets/value_list_editor.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace vorkel {
namespace {

class Grid : public ::testing::Test {
protected:
    TValueListEditor grid;
    QSignalSpy changes{&grid, &TValueListEditor::stringsChanged};

    void fill(std::initializer_list<std::pair<const char*, const char*>> rows) {
        for (const auto& [key, value] : rows) {
            ASSERT_TRUE(grid.appendRow(key, value));
        }
    }
};

TEST_F(Grid, startsWithOneEmptyRowThatTheFirstAppendFills) {
    EXPECT_EQ(grid.rowCount(), 1);
    fill({{"10", "1500"}});
    EXPECT_EQ(grid.rowCount(), 1);
    fill({{"20", "1600"}});
    EXPECT_EQ(grid.rowCount(), 2);
    EXPECT_EQ(grid.key(1), "20");
    EXPECT_EQ(grid.value(1), "1600");
    EXPECT_GT(changes.count(), 0);
}

TEST_F(Grid, refusesADuplicateKey) {
    fill({{"10", "a"}, {"20", "b"}});
    EXPECT_FALSE(grid.appendRow("10", "c"));
    EXPECT_FALSE(grid.setKey(1, "10"));
    EXPECT_EQ(grid.key(1), "20");
    // An edit by the user that repeats a key is undone.
    grid.item(1, TValueListEditor::kKeyColumn)->setText("10");
    EXPECT_EQ(grid.key(1), "20");
    grid.item(1, TValueListEditor::kKeyColumn)->setText("30");
    EXPECT_EQ(grid.key(1), "30");
    // Empty keys are not keys yet: many rows may be empty.
    grid.insertEmptyRowAtCurrent();
    EXPECT_TRUE(grid.setKey(0, ""));
}

TEST_F(Grid, enterInsertsAnEmptyRowAtTheCurrentRowUnlessThatRowIsEmpty) {
    fill({{"10", "a"}, {"20", "b"}});
    grid.setCurrentCell(1, 0);
    QTest::keyClick(&grid, Qt::Key_Return);
    ASSERT_EQ(grid.rowCount(), 3);
    EXPECT_TRUE(grid.key(1).isEmpty());
    EXPECT_EQ(grid.key(2), "20"); // the row moved down
    EXPECT_EQ(grid.currentRow(), 1);
    QTest::keyClick(&grid, Qt::Key_Enter); // the current row is empty now: nothing
    EXPECT_EQ(grid.rowCount(), 3);
    // A row with only a value is not empty.
    grid.setValue(1, "x");
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_EQ(grid.rowCount(), 4);

    // Enter in an open cell editor keeps what was typed, then applies the same rule.
    const auto enterInEditor = [&](int row, const char* typed) {
        grid.setCurrentCell(row, TValueListEditor::kKeyColumn);
        grid.edit(grid.model()->index(row, TValueListEditor::kKeyColumn));
        auto* editor = grid.viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(grid.viewport()->findChild<QLineEdit*>(), nullptr); // the editor closed
    };
    enterInEditor(1, "30");
    ASSERT_EQ(grid.rowCount(), 5);
    EXPECT_EQ(grid.key(2), "30");
    EXPECT_TRUE(grid.key(1).isEmpty());
    EXPECT_EQ(grid.currentRow(), 1);
    enterInEditor(1, ""); // still empty: nothing
    EXPECT_EQ(grid.rowCount(), 5);
}

TEST_F(Grid, ctrlDeleteRemovesTheCurrentRowButKeepsOne) {
    fill({{"10", "a"}, {"20", "b"}});
    grid.setCurrentCell(0, 0);
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.key(0), "20");
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(grid.rowCount(), 1);
    EXPECT_TRUE(grid.key(0).isEmpty());
    EXPECT_TRUE(grid.appendRow("20", "again")); // its key is free again
}

TEST_F(Grid, hasItsColumnTitles) {
    grid.setKeyTitle("Liters");
    grid.setColumnTitle(1, "Values");
    EXPECT_EQ(grid.keyTitle(), "Liters");
    EXPECT_EQ(grid.valueTitle(), "Values");
}

TEST(RadioGroup, selectsOneItemOrNone) {
    TRadioGroup group;
    group.setItems({"analog", "frequency"});
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemIndex(1);
    EXPECT_EQ(group.itemIndex(), 1);
    group.setItemIndex(0);
    EXPECT_EQ(group.itemIndex(), 0);
    group.setItemIndex(-1);
    EXPECT_EQ(group.itemIndex(), -1);
    group.setItemText(1, "частотный");
    EXPECT_EQ(group.items(), (QStringList{"analog", "частотный"}));
}

TEST(UpDown, keepsItsPositionInRangeAndItsEditInStep) {
    TUpDown upDown;
    QLineEdit edit;
    upDown.setMin(0);
    upDown.setMax(15);
    upDown.setAssociate(&edit);
    upDown.setPosition(20);
    EXPECT_EQ(upDown.position(), 15);
    EXPECT_EQ(edit.text(), "15");
    upDown.setPosition(-1);
    EXPECT_EQ(upDown.position(), 0);
    EXPECT_EQ(edit.text(), "0");
}

TEST(LabeledEdit, keepsCaptionAndContentApart) {
    TLabeledEdit edit;
    edit.setLabelText("Sensor address");
    edit.setText("unread");
    EXPECT_EQ(edit.subLabel()->text(), "Sensor address");
    EXPECT_EQ(edit.edit()->text(), "unread");
}

// The trend's axis ends at the present, so the plot repaints while no reply comes; but only
// while it is seen.
TEST(TrendPlot, followsTheClockOnlyWhileItIsOnTheScreen) {
    QWidget page;
    auto* box = new TPaintBox(&page);
    const TrendPlot plot(*box, [] { return TrendPicture{}; });
    EXPECT_FALSE(plot.followsTheClock());
    page.show();
    EXPECT_TRUE(plot.followsTheClock());
    page.hide(); // another page chosen, the window minimised
    EXPECT_FALSE(plot.followsTheClock());
}

} // namespace
} // namespace vorkel
