#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace utq {

// A picture from an SVG resource, drawn at the widget's size the first time it is painted:
// the pictures of tabs nobody opens cost nothing at start-up.
class SvgPicture : public QWidget {
    Q_OBJECT
public:
    SvgPicture(const QString& resource, QWidget* parent = nullptr);

    const QString& resource() const { return resource_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString resource_;
    QPixmap rendered_;
};

} // namespace utq
