// An edit with its caption label attached: the caption ("sub-label") sits above the edit, or to
// its left. Translation sets the caption and the content separately.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace vorkel {

class TLabeledEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText USER true)
    Q_PROPERTY(QString labelText READ labelText WRITE setLabelText)
    Q_PROPERTY(bool labelOnLeft READ labelOnLeft WRITE setLabelOnLeft)
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)

public:
    explicit TLabeledEdit(QWidget* parent = nullptr);

    QString text() const { return edit_->text(); }
    void setText(const QString& text) { edit_->setText(text); }
    QString labelText() const { return subLabel_->text(); }
    void setLabelText(const QString& text) { subLabel_->setText(text); }
    bool labelOnLeft() const { return labelOnLeft_; }
    void setLabelOnLeft(bool onLeft);
    bool isReadOnly() const { return edit_->isReadOnly(); }
    void setReadOnly(bool readOnly) { edit_->setReadOnly(readOnly); }

    QLineEdit* edit() const { return edit_; }
    QLabel* subLabel() const { return subLabel_; }

signals:
    void textChanged(const QString& text);

private:
    void arrange();

    QLabel* subLabel_;
    QLineEdit* edit_;
    bool labelOnLeft_ = false;
};

} // namespace vorkel
