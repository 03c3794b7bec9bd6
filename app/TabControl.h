#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class QButtonGroup;
class QPushButton;

namespace utq {

// A tab control whose tabs stand in several rows (Qt's own tab widget has one row). The tab
// buttons lie across the top; each page covers the whole control, so its controls are placed
// in the control's own coordinates, below the tab rows.
class TabControl : public QWidget {
    Q_OBJECT
public:
    TabControl(int tabsPerRow, int rowHeight, QWidget* parent = nullptr);

    // Adds a tab and returns its page. Call after the control has its final size.
    QWidget* addTab(const QString& caption);

    int count() const { return pages_.size(); }
    int currentIndex() const { return current_; }
    void setCurrentIndex(int index);
    QString tabText(int index) const;
    QWidget* page(int index) const { return pages_.value(index); }
    QPushButton* tabButton(int index) const { return buttons_.value(index); }

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutTabs();

    int tabsPerRow_;
    int rowHeight_;
    int current_ = -1;
    QVector<QWidget*> pages_;
    QVector<QPushButton*> buttons_;
    QButtonGroup* group_;
};

} // namespace utq
