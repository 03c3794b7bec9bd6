#pragma once

#include <QRect>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

// Pieces that several tab pages share.
namespace utq::tabs {

// The tab's background picture, under everything else on the page.
QWidget* background(QWidget* page, const char* resource);

// A result box and a time box that only show what a ping found.
void displayOnly(QLineEdit* box);

// White text on the house navy, for the frames of the About tab.
void navyFrame(QGroupBox* frame);

// A caption label over a column of boxes.
QLabel* columnCaption(QWidget* page, const char* name, const QString& text, QRect geometry);

// The three columns of a favourites tab hold the web view in their right two thirds.
inline constexpr int kWebViewLeft = 284;
inline constexpr int kPageBottom = 592;
inline QRect queryBarGeometry() {
    return {4, 597, 821, 8};
}

} // namespace utq::tabs

namespace utq::platform {
class WebView;
}

namespace utq::tabs {

// One of the window's web views, placed on its tab.
platform::WebView* webView(QWidget* page, const char* name, QRect geometry);

// Widens a label to its text where the text would not fit its designed width.
void fitWidth(QLabel* label);

} // namespace utq::tabs
