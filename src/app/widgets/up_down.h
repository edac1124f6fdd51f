// A pair of arrow buttons that step a position between a minimum and a maximum. The position
// may be bound to an edit (often hidden) whose text is kept equal to it, so that code reading
// the edit sees the position.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

namespace vorkel {

class TUpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int min READ min WRITE setMin)
    Q_PROPERTY(int max READ max WRITE setMax)
    Q_PROPERTY(int position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(bool horizontal READ isHorizontal WRITE setHorizontal)

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int min() const { return min_; }
    void setMin(int min);
    int max() const { return max_; }
    void setMax(int max);
    int position() const { return position_; }
    // Limits the position to [min, max]; updates the bound edit.
    void setPosition(int position);
    bool isHorizontal() const { return horizontal_; }
    void setHorizontal(bool horizontal);

    void setAssociate(QLineEdit* edit);
    QLineEdit* associate() const { return associate_; }

signals:
    // Before a click moves the position, with the position it is about to leave.
    void changing(int position);
    void positionChanged(int position);
    // After a click has moved (or tried to move) the position.
    void clicked();

private:
    void step(int delta);
    void arrange();

    QToolButton* down_;
    QToolButton* up_;
    QPointer<QLineEdit> associate_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    bool horizontal_ = true;
};

} // namespace vorkel
