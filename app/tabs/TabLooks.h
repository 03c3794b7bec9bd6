#pragma once

#include <QRect>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace utq::platform {
class WebView;
}

// Pieces that several tab pages share.
namespace utq::tabs {

inline constexpr int kPageBottom = 592;
// The web views of the UT2004 and UT3 tabs fill the right two thirds of the page.
inline QRect rightTwoThirdsGeometry() { return {284, 68, 541, kPageBottom - 68}; }
// The query bars run across the bottom of their tab.
inline QRect queryBarGeometry() { return {4, 597, 821, 8}; }

// The tab's background picture, under everything else on the page.
QWidget* background(QWidget* page, const char* resource);

// One of the window's web views, placed on its tab.
platform::WebView* webView(QWidget* page, const char* name, QRect geometry);

// A result box and a time box that only show what a ping found.
void displayOnly(QLineEdit* box);

// White text on the house navy, for the frames of the About tab.
void navyFrame(QGroupBox* frame);

// A caption label over a column of boxes.
QLabel* columnCaption(QWidget* page, const char* name, const QString& text, QRect geometry);

} // namespace utq::tabs
