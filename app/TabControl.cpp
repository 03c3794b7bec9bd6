#include "app/TabControl.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QShortcut>

namespace utq {
namespace {

constexpr auto kTabStyle = R"(
QPushButton {
    background: rgb(0, 21, 55); color: white;
    border: 1px solid rgb(70, 96, 140); border-bottom: none; padding: 0 6px;
}
QPushButton:hover { background: rgb(16, 44, 92); }
QPushButton:checked { background: rgb(34, 72, 136); font-weight: bold; }
)";

} // namespace

TabControl::TabControl(int tabsPerRow, int rowHeight, QWidget* parent)
    : QWidget(parent), tabsPerRow_(tabsPerRow), rowHeight_(rowHeight),
      group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &TabControl::setCurrentIndex);
    auto step = [this](int delta) {
        if (count() > 0)
            setCurrentIndex((current_ + delta + count()) % count());
    };
    for (auto key :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(1); });
    for (auto key : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                     QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(-1); });
}

QWidget* TabControl::addTab(const QString& caption) {
    const int index = pages_.size();
    auto* page = new QWidget(this);
    page->setGeometry(rect());
    page->setVisible(index == 0);
    pages_.append(page);

    auto* button = new QPushButton(caption, this);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setStyleSheet(QLatin1String(kTabStyle));
    group_->addButton(button, index);
    buttons_.append(button);
    layoutTabs();
    if (index == 0)
        setCurrentIndex(0);
    return page;
}

void TabControl::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == current_)
        return;
    QWidget* old = pages_.value(current_);
    current_ = index;
    buttons_[index]->setChecked(true);
    pages_[index]->show();
    if (old)
        old->hide();
    for (auto* button : buttons_)
        button->raise();
    emit currentChanged(index);
}

QString TabControl::tabText(int index) const {
    return index >= 0 && index < count() ? buttons_[index]->text() : QString();
}

void TabControl::resizeEvent(QResizeEvent*) {
    for (auto* page : pages_)
        page->setGeometry(rect());
    layoutTabs();
}

void TabControl::layoutTabs() {
    for (int i = 0; i < buttons_.size(); ++i) {
        const int row = i / tabsPerRow_;
        const int column = i % tabsPerRow_;
        const int left = width() * column / tabsPerRow_;
        const int right = width() * (column + 1) / tabsPerRow_;
        buttons_[i]->setGeometry(left, row * rowHeight_, right - left, rowHeight_);
        buttons_[i]->raise();
    }
}

} // namespace utq
