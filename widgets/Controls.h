#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

class QComboBox;
class QCursor;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPixmap;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;

namespace utq {
class SvgPicture;
}

// Small makers for the window's controls: each gets its object name (the name tests and
// handlers know it by), its text and its place, and nothing else.
namespace utq::controls {

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry);
QLineEdit* textBox(QWidget* parent, const char* name, const QString& text, QRect geometry);
QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry);
QRadioButton* optionButton(QWidget* parent, const char* name, const QString& caption,
                           QRect geometry);
QComboBox* comboBox(QWidget* parent, const char* name, const QString& text,
                    const QStringList& items, QRect geometry);
QProgressBar* progressBar(QWidget* parent, const char* name, QRect geometry);
QTimer* timer(QObject* parent, const char* name, int intervalMs);
QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, QRect geometry);
QPlainTextEdit* helpText(QWidget* parent, const char* name, const QString& text, QRect geometry);
// A picture drawn from an SVG resource.
SvgPicture* picture(QWidget* parent, const char* name, const QString& resource, QRect geometry);

QPixmap renderSvg(const QString& resource, int width, int height);

// The program's own pointing hand, 32 x 32 with its hot spot at the fingertip (12, 1).
const QCursor& handCursor();

// Widens a label to its text where the text would not fit its designed width.
void fitWidth(QLabel* label);

// The look of a ping result box on the UT99 tabs: green text on dark blue, skipped by Tab.
void stylePingResultBox(QLineEdit* box);

} // namespace utq::controls
