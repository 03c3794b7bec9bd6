#include "widgets/Controls.h"

#include "widgets/SvgPicture.h"

#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSvgRenderer>
#include <QTimer>

#include <algorithm>

namespace utq::controls {
namespace {

template <typename Control> Control* place(Control* control, const char* name, QRect geometry) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return place(new QPushButton(caption, parent), name, geometry);
}

QLineEdit* textBox(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return place(new QLineEdit(text, parent), name, geometry);
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return place(new QLabel(text, parent), name, geometry);
}

QRadioButton* optionButton(QWidget* parent, const char* name, const QString& caption,
                           QRect geometry) {
    return place(new QRadioButton(caption, parent), name, geometry);
}

QComboBox* comboBox(QWidget* parent, const char* name, const QString& text,
                    const QStringList& items, QRect geometry) {
    auto* combo = place(new QComboBox(parent), name, geometry);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
    return combo;
}

QProgressBar* progressBar(QWidget* parent, const char* name, QRect geometry) {
    auto* bar = place(new QProgressBar(parent), name, geometry);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QTimer* timer(QObject* parent, const char* name, int intervalMs) {
    auto* t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(intervalMs);
    return t;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return place(new QGroupBox(caption, parent), name, geometry);
}

QPlainTextEdit* helpText(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* box = place(new QPlainTextEdit(text, parent), name, geometry);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    return box;
}

SvgPicture* picture(QWidget* parent, const char* name, const QString& resource, QRect geometry) {
    return place(new SvgPicture(resource, parent), name, geometry);
}

QPixmap renderSvg(const QString& resource, int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

const QCursor& handCursor() {
    static const QCursor cursor(renderSvg(QStringLiteral(":/assets/hand_cursor.svg"), 32, 32), 12,
                                1);
    return cursor;
}

void fitWidth(QLabel* label) {
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
}

void stylePingResultBox(QLineEdit* box) {
    box->setStyleSheet(
        QStringLiteral("QLineEdit { background: rgb(0, 0, 128); color: rgb(0, 255, 0); }"));
    box->setFocusPolicy(Qt::ClickFocus);
}

} // namespace utq::controls
