// A titled group of radio items, one of which (or none) is selected; items are addressed by
// their index, as the configuration bits that they stand for.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

namespace vorkel {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex NOTIFY itemIndexChanged)

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList items() const;
    void setItems(const QStringList& items);
    int itemCount() const { return static_cast<int>(buttons_.size()); }
    QString itemText(int index) const;
    void setItemText(int index, const QString& text);

    // -1: no item selected.
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    void itemIndexChanged(int index);
    void clicked(int index); // by the user

private:
    QButtonGroup* group_;
    QList<QRadioButton*> buttons_;
};

} // namespace vorkel
