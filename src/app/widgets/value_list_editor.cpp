#include "app/widgets/value_list_editor.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

namespace vorkel {
namespace {

bool isEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// Enter in a cell editor first finishes the edit, then applies the grid's Enter rule, as it
// does outside the editor.
class EnterAwareDelegate : public QStyledItemDelegate {
public:
    explicit EnterAwareDelegate(TValueListEditor* grid)
        : QStyledItemDelegate(grid)
        , grid_(grid) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent*>(event))) {
            if (auto* editor = qobject_cast<QWidget*>(object)) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                grid_->insertEmptyRowAtCurrent();
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TValueListEditor* grid_;
};

} // namespace

TValueListEditor::TValueListEditor(QWidget* parent)
    : QTableWidget(1, 2, parent)
    , keys_{QString()} {
    setHorizontalHeaderItem(kKeyColumn, new QTableWidgetItem);
    setHorizontalHeaderItem(kValueColumn, new QTableWidgetItem);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    horizontalHeader()->setSectionsClickable(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::AllEditTriggers);
    setItemDelegate(new EnterAwareDelegate(this));
    setCurrentCell(0, kKeyColumn);
    connect(this, &QTableWidget::itemChanged, this, &TValueListEditor::onItemChanged);
}

QString TValueListEditor::columnTitle(int column) const {
    const QTableWidgetItem* item = horizontalHeaderItem(column);
    return item ? item->text() : QString();
}

void TValueListEditor::setColumnTitle(int column, const QString& title) {
    if (QTableWidgetItem* item = horizontalHeaderItem(column)) {
        item->setText(title);
    }
}

QString TValueListEditor::cellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

bool TValueListEditor::isDuplicateKey(int row, const QString& key) const {
    if (key.isEmpty()) {
        return false; // empty rows are not keys yet
    }
    for (int other = 0; other < keys_.size(); ++other) {
        if (other != row && keys_[other] == key) {
            return true;
        }
    }
    return false;
}

bool TValueListEditor::rowIsEmpty(int row) const {
    return key(row).isEmpty() && value(row).isEmpty();
}

bool TValueListEditor::setKey(int row, const QString& key) {
    if (row < 0 || row >= rowCount() || isDuplicateKey(row, key)) {
        return false;
    }
    setCell(row, kKeyColumn, key);
    return true;
}

void TValueListEditor::setValue(int row, const QString& value) {
    if (row >= 0 && row < rowCount()) {
        setCell(row, kValueColumn, value);
    }
}

void TValueListEditor::setCell(int row, int column, const QString& text) {
    updating_ = true;
    setItem(row, column, new QTableWidgetItem(text));
    if (column == kKeyColumn) {
        keys_[row] = text;
    }
    updating_ = false;
    emit stringsChanged();
}

bool TValueListEditor::appendRow(const QString& key, const QString& value) {
    if (isDuplicateKey(-1, key)) {
        return false;
    }
    int row = rowCount() - 1;
    if (!(rowCount() == 1 && rowIsEmpty(0))) {
        row = rowCount();
        updating_ = true;
        insertRow(row);
        keys_.insert(row, QString());
        updating_ = false;
    }
    setKey(row, key);
    setValue(row, value);
    return true;
}

void TValueListEditor::insertEmptyRowAtCurrent() {
    const int row = currentRow() < 0 ? 0 : currentRow();
    if (row < rowCount() && rowIsEmpty(row)) {
        return;
    }
    updating_ = true;
    insertRow(row);
    keys_.insert(row, QString());
    updating_ = false;
    setCurrentCell(row, currentColumn() < 0 ? kKeyColumn : currentColumn());
    emit stringsChanged();
}

void TValueListEditor::removeRowAt(int row) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    updating_ = true;
    if (rowCount() == 1) {
        // The grid keeps one row; removing the last one empties it.
        setItem(0, kKeyColumn, new QTableWidgetItem);
        setItem(0, kValueColumn, new QTableWidgetItem);
        keys_[0].clear();
        setCurrentCell(0, kKeyColumn);
    } else {
        removeRow(row);
        keys_.removeAt(row);
    }
    updating_ = false;
    emit stringsChanged();
}

void TValueListEditor::showRowNumbers(const QStringList& numbers) {
    setVerticalHeaderLabels(numbers);
    verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalHeader()->setVisible(true);
}

void TValueListEditor::keyPressEvent(QKeyEvent* event) {
    if (isEnter(event) && state() != QAbstractItemView::EditingState) {
        insertEmptyRowAtCurrent();
        return;
    }
    if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
        removeRowAt(currentRow());
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void TValueListEditor::onItemChanged(QTableWidgetItem* changed) {
    if (updating_) {
        return;
    }
    const int row = changed->row();
    if (changed->column() == kKeyColumn) {
        if (isDuplicateKey(row, changed->text())) {
            updating_ = true;
            changed->setText(keys_.value(row)); // a key must stay unique: undo the edit
            updating_ = false;
            return;
        }
        keys_[row] = changed->text();
    }
    emit stringsChanged();
}

} // namespace vorkel
