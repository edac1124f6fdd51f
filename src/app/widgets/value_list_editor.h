// A two-column key/value grid with a fixed title row, as the calibration table and the litres
// table use it:
// - keys are unique: an edit that repeats another row's key is undone;
// - Enter inserts an empty row at the current row (the rows from there move down), unless the
//   current row is already empty;
// - Ctrl+Delete removes the current row; there is always at least one row.
#pragma once

#include <QStringList>
#include <QTableWidget>

namespace vorkel {

class TValueListEditor : public QTableWidget {
    Q_OBJECT
    Q_PROPERTY(QString keyTitle READ keyTitle WRITE setKeyTitle)
    Q_PROPERTY(QString valueTitle READ valueTitle WRITE setValueTitle)

public:
    static constexpr int kKeyColumn = 0;
    static constexpr int kValueColumn = 1;

    explicit TValueListEditor(QWidget* parent = nullptr);

    QString keyTitle() const { return columnTitle(kKeyColumn); }
    void setKeyTitle(const QString& title) { setColumnTitle(kKeyColumn, title); }
    QString valueTitle() const { return columnTitle(kValueColumn); }
    void setValueTitle(const QString& title) { setColumnTitle(kValueColumn, title); }
    QString columnTitle(int column) const;
    void setColumnTitle(int column, const QString& title);

    QString key(int row) const { return cellText(row, kKeyColumn); }
    QString value(int row) const { return cellText(row, kValueColumn); }
    // Sets a cell of an existing row; a key that another row has already is refused (false).
    bool setKey(int row, const QString& key);
    void setValue(int row, const QString& value);
    // Adds a row at the end (after the single empty row of a fresh grid, it replaces that row).
    bool appendRow(const QString& key, const QString& value);
    // Inserts an empty row at the current row, unless that row is empty (the Enter rule).
    void insertEmptyRowAtCurrent();
    void removeRowAt(int row);
    // Shows a number beside each row, top to bottom; without them the grid shows none.
    void showRowNumbers(const QStringList& numbers);

signals:
    // Any change of the content: an edited cell, an inserted or a removed row.
    void stringsChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString cellText(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    bool isDuplicateKey(int row, const QString& key) const;
    bool rowIsEmpty(int row) const;
    void onItemChanged(QTableWidgetItem* item);

    QStringList keys_; // the accepted keys, row by row, to undo a refused edit
    bool updating_ = false;
};

} // namespace vorkel
