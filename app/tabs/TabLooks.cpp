#include "app/tabs/TabLooks.h"

#include "app/qElQuery.h"
#include "platform/WebView.h"
#include "widgets/Controls.h"
#include "widgets/SvgPicture.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace utq::tabs {

QWidget* background(QWidget* page, const char* resource) {
    const int top = qElQuery::kTabHeaderHeight;
    QWidget* picture =
        controls::picture(page, "", QLatin1String(resource),
                          QRect(0, top, qElQuery::kClientWidth, qElQuery::kClientHeight - top));
    picture->lower();
    return picture;
}

void displayOnly(QLineEdit* box) { box->setEnabled(false); }

void navyFrame(QGroupBox* frame) {
    frame->setStyleSheet(QStringLiteral(
        "QGroupBox { background: rgb(0, 21, 55); color: white; border: 1px solid rgb(90, 110, 150);"
        " margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }"
        "QLabel { color: white; background: transparent; }"));
}

QLabel* columnCaption(QWidget* page, const char* name, const QString& text, QRect geometry) {
    QLabel* caption = controls::label(page, name, text, geometry);
    caption->setStyleSheet(QStringLiteral("QLabel { color: white; font-weight: bold; }"));
    return caption;
}

platform::WebView* webView(QWidget* page, const char* name, QRect geometry) {
    auto* view = new platform::WebView(page);
    view->setObjectName(QLatin1String(name));
    view->setGeometry(geometry);
    return view;
}

} // namespace utq::tabs
