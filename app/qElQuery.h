#pragma once

#include "app/TimedAction.h"
#include "base/Failure.h"
#include "base/GameKind.h"
#include "base/Hosts.h"
#include "platform/Desktop.h"

#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace utq {

class SvgPicture;
class TabControl;
namespace platform {
class WebView;
}
namespace net {
class PingIPv4;
}

// The boxes of one favourite row; `fourth` is the UT99 query port or the UT3 web port.
struct FavouriteRow {
    QLineEdit* name = nullptr;
    QLineEdit* address = nullptr;
    QLineEdit* port = nullptr;
    QLineEdit* fourth = nullptr;

    QLineEdit* field(int index) const {
        const std::array<QLineEdit*, 4> boxes = {name, address, port, fourth};
        return boxes.at(static_cast<std::size_t>(index));
    }
};

// The main window: nine tabs, three for each game. It owns every control and wires the
// per-game operations to the subsystems that do the work. Controls carry the names users of
// the window know them by, as members and as object names; control arrays are indexed as
// their names say (serverOpt runs from 1 to 6).
class qElQuery : public QWidget {
    Q_OBJECT
public:
    explicit qElQuery(const Hosts& hosts, platform::Desktop desktop = platform::Desktop::real(),
                      QWidget* parent = nullptr);
    ~qElQuery() override;

    // Start-up: show the window, put the focus in the UT99 host field, then the favourites.
    void Form_Load();
    // Focus on txtNameOrIP with its whole text selected. The visible tab never changes; while
    // another tab shows, the field takes the focus as soon as its tab is shown.
    void FocusHostField();

    // Favourites: each loader fills its game's six rows from the file IniPath names, through
    // its own value reader (no value when nothing was found).
    std::optional<QString> GetIni(const QString& Section, const QString& Key) const;
    std::optional<QString> GetIni04(const QString& Section, const QString& Key) const;
    std::optional<QString> GetIniut3(const QString& Section, const QString& Key) const;
    void ReadIni();
    void ReadIni04();
    void ReadIniut3();

    // Saves, run when a "Save Changes" bar is full: the game's file is rewritten from its rows.
    void lookup2();
    void lookup042();
    void lookuput3s();
    void cmdSaveChanges_Click();
    void cmdSaveChanges04f_Click();
    void cmdSaveChangesut3_Click();
    void Timer2_Timer();
    void Timer042_Timer();
    void Timerut3s_Timer();

    // The six ping commands, all through the one Pinger.
    void cmdPing_Click();
    void cmdPing2_Click();
    void cmdping04_Click();
    void cmdping042_Click();
    void cmdpUT3_Click();
    void cmdpUT32_Click();

    // "Launch Game" on the two UT99 tabs.
    void cmdLaunchGame_Click();
    void cmdLaunchGame2_Click();

    // The administrator area and the links that open pages in the browser.
    void cmdA1_Click();
    void cmdA2_Click();
    void lblA1_Click();
    void lblA2_Click();
    void lblA4_Click();
    void lblQel_Click();
    void cmdAdminUT3_Click();

    // The preset pickers of the three query tabs.
    void Combo1_Click();
    void Combo3_Click();
    void Combo2_Click();

    // Status queries, run when a "Begin Query" bar is full.
    void lookup();
    void lookup1();
    void lookup04();
    void lookup04f();
    void lookuput3();
    void lookuput3f();

    // Click and tick handlers of the timed "Begin Query" buttons.
    void cmdBeginQuery_Click();
    void cmdBeginQuery2_Click();
    void cmdBeginQuery04_Click();
    void cmdBeginQuery04f_Click();
    void cmdBeginQueryut3_Click();
    void cmdBeginQueryut3f_Click();
    void Timer1_Timer();
    void Timer3_Timer();
    void Timer04_Timer();
    void Timer041_Timer();
    void Timerut3_Timer();
    void Timerut3f_Timer();

    FavouriteRow ut99Row(int row) const;   // rows 1 to 6
    FavouriteRow ut2004Row(int row) const; // rows 1 to 6; row 1 is shown but locked
    FavouriteRow ut3Row(int row) const;    // rows 1 to 6
    FavouriteRow favouriteRow(GameKind game, int row) const;

    // Where failures are reported; a warning box by default.
    void setFailureReporter(FailureReporter reporter);

    const Hosts& hosts() const { return hosts_; }
    const platform::Desktop& desktop() const { return desktop_; }

    QString IniPath;
    std::unique_ptr<net::PingIPv4> Pinger; // created first thing at start-up

    TabControl* SSTTab0 = nullptr;

    // "UT99 Server Query"
    SvgPicture* UTlogo = nullptr;
    QPushButton* cmdServferIP = nullptr;
    std::array<QLabel*, 2> lblServerIP{}; // (0) here, (1) on "UT 2004 Favorite Servers"
    QComboBox* Combo1 = nullptr;
    QLineEdit* txtNameOrIP = nullptr;
    QPushButton* cmdQueryPort = nullptr;
    QLabel* lblQueryPort = nullptr;
    QLineEdit* txtText2 = nullptr;
    QPushButton* cmdBeginQuery = nullptr;
    QPushButton* cmdPing = nullptr;
    QPushButton* cmdServerPort = nullptr;
    std::array<QLabel*, 2> lblServerPort{}; // (0) here, (1) on "UT 2004 Favorite Servers"
    QLineEdit* txtText3 = nullptr;
    QPushButton* cmdLaunchGame = nullptr;
    std::array<QLineEdit*, 4> txtText4{}; // (0), (1) here; (2), (3) on "UT99 Favorite Servers"
    platform::WebView* WebBrowser1 = nullptr;
    QProgressBar* pg = nullptr;

    // "UT99 Favorite Servers"
    QLabel* lblServerName2 = nullptr;
    QLabel* lblServerIP2 = nullptr;
    QLabel* lblServerPort2 = nullptr;
    QLabel* lblQueryPort2 = nullptr;
    QLineEdit *ServerName = nullptr, *ServerIP = nullptr, *ServerPort = nullptr,
              *QueryPort = nullptr;
    QLineEdit *ServerName2 = nullptr, *ServerIP2 = nullptr, *ServerPort2 = nullptr,
              *QueryPort2 = nullptr;
    QLineEdit *ServerName3 = nullptr, *ServerIP3 = nullptr, *ServerPort3 = nullptr,
              *QueryPort3 = nullptr;
    QLineEdit *ServerName4 = nullptr, *ServerIP4 = nullptr, *ServerPort4 = nullptr,
              *QueryPort4 = nullptr;
    QLineEdit *ServerName5 = nullptr, *ServerIP5 = nullptr, *ServerPort5 = nullptr,
              *QueryPort5 = nullptr;
    QLineEdit *ServerName6 = nullptr, *ServerIP6 = nullptr, *ServerPort6 = nullptr,
              *QueryPort6 = nullptr;
    std::array<QRadioButton*, 6> Option1{};
    QPushButton* cmdBeginQuery2 = nullptr;
    QPushButton* cmdPing2 = nullptr;
    QPushButton* cmdLaunchGame2 = nullptr;
    QPushButton* cmdSaveChanges = nullptr;
    QProgressBar* pg2 = nullptr;
    platform::WebView* WebBrowser2 = nullptr;
    QProgressBar* pg3 = nullptr;

    // "About / Help / TeamSpeak / Admin"
    QGroupBox* Frame1 = nullptr;
    QLabel* lblLabelTS = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* lblLabelAbout = nullptr;
    platform::WebView* WebBrowser3 = nullptr;
    QPlainTextEdit* txtTroubleshooting = nullptr;
    QGroupBox* FraQel = nullptr;
    std::array<SvgPicture*, 1> PicqEl{};
    QLabel* lblQel = nullptr;
    QGroupBox* FraAdministration = nullptr;
    QLabel* lblA3 = nullptr;
    QLabel* lblA1 = nullptr;
    QLabel* lblA2 = nullptr;
    QLabel* lblA4 = nullptr;
    QPushButton* cmdA1 = nullptr;
    QLineEdit* txtPooPooPeePee = nullptr;
    QPushButton* cmdA2 = nullptr;

    // "UT 2004 Server Query"
    QComboBox* Combo3 = nullptr;
    QLineEdit* txt04Server = nullptr;
    QLineEdit* txt04port = nullptr;
    std::array<QLineEdit*, 4> txt04ping{}; // (0), (1) here; (2), (3) on the favourites tab
    QPushButton* cmdping04 = nullptr;
    QPushButton* cmdBeginQuery04 = nullptr;
    platform::WebView* WebBrowser6 = nullptr;
    QProgressBar* pg04 = nullptr;
    QTimer* Timer04 = nullptr;

    // "UT 2004 Favorite Servers"
    std::array<QLabel*, 2> lblServerName{}; // (0) on "UT3 Favorite Servers", (1) here
    QLineEdit *ServerName04 = nullptr, *ServerIP04 = nullptr, *ServerPort04 = nullptr;
    QLineEdit *ServerName042 = nullptr, *ServerIP042 = nullptr, *ServerPort042 = nullptr;
    QLineEdit *ServerName043 = nullptr, *ServerIP043 = nullptr, *ServerPort043 = nullptr;
    QLineEdit *ServerName044 = nullptr, *ServerIP044 = nullptr, *ServerPort044 = nullptr;
    QLineEdit *ServerName045 = nullptr, *ServerIp045 = nullptr, *ServerPort045 = nullptr;
    QLineEdit *ServerName046 = nullptr, *ServerIP046 = nullptr, *ServerPort046 = nullptr;
    std::array<QRadioButton*, 7> serverOpt{}; // indexes 1 to 6; (6) stands beside row 1
    QPushButton* cmdSaveChanges04f = nullptr;
    QProgressBar* pg04f2 = nullptr;
    QPushButton* cmdping042 = nullptr;
    QPushButton* cmdBeginQuery04f = nullptr;
    platform::WebView* WebBrowser7 = nullptr;
    QProgressBar* pg04f = nullptr;
    QTimer* Timer041 = nullptr;
    QTimer* Timer042 = nullptr;

    // "About / Help" (UT2004)
    QPlainTextEdit* txtTroubleshooting_04 = nullptr;

    // "UT3 Server Query"
    QComboBox* Combo2 = nullptr;
    QLineEdit* ut3iptxt = nullptr;
    QLineEdit* txtQueryPort = nullptr;
    QLineEdit* txtServerWeb = nullptr;
    std::array<QLineEdit*, 4> txtpUT3{}; // (0), (1) here; (2), (3) on the favourites tab
    QPushButton* cmdpUT3 = nullptr;
    QPushButton* cmdBeginQueryut3 = nullptr;
    QPushButton* cmdAdminUT3 = nullptr;
    platform::WebView* WebBrowser4 = nullptr;
    QProgressBar* pgut3 = nullptr;
    QTimer* Timerut3 = nullptr;

    // "UT3 Favorite Servers"
    QLabel* lblServerIPut3 = nullptr;
    QLabel* lblServerQ = nullptr;
    QLabel* lblServerW = nullptr;
    QLineEdit *UT3ServerName = nullptr, *UT3ServerIP = nullptr, *UT3ServerPort = nullptr,
              *Serverwport = nullptr;
    QLineEdit *UT3ServerName2 = nullptr, *UT3ServerIP2 = nullptr, *UT3ServerPort2 = nullptr,
              *Serverwport2 = nullptr;
    QLineEdit *UT3ServerName3 = nullptr, *UT3ServerIP3 = nullptr, *UT3ServerPort3 = nullptr,
              *Serverwport3 = nullptr;
    QLineEdit *UT3ServerName4 = nullptr, *UT3ServerIP4 = nullptr, *UT3ServerPort4 = nullptr,
              *Serverwport4 = nullptr;
    QLineEdit *UT3ServerName5 = nullptr, *UT3ServerIP5 = nullptr, *UT3ServerPort5 = nullptr,
              *Serverwport5 = nullptr;
    QLineEdit *UT3ServerName6 = nullptr, *UT3ServerIP6 = nullptr, *UT3ServerPort6 = nullptr,
              *Serverwport6 = nullptr;
    std::array<QRadioButton*, 6> serverFav{};
    QPushButton* cmdSaveChangesut3 = nullptr;
    QProgressBar* pg3ut3s = nullptr;
    QPushButton* cmdpUT32 = nullptr;
    QPushButton* cmdBeginQueryut3f = nullptr;
    platform::WebView* WebBrowser5 = nullptr;
    QProgressBar* pg2ut3 = nullptr;
    QTimer* Timerut3f = nullptr;
    QTimer* Timerut3s = nullptr;

    // "About / Help" (UT3)
    QPlainTextEdit* txtTroubleshooting_If = nullptr;

    // On the window itself, beyond the right edge of its client area.
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* ut04 = nullptr;
    QLabel* ut042 = nullptr;
    QLabel* lblUt3 = nullptr;
    QLabel* lblUt32 = nullptr;

    // All eighteen favourites option buttons: one selection in the whole window.
    QButtonGroup* favouriteSelection = nullptr;

    static constexpr int kClientWidth = 829;
    static constexpr int kClientHeight = 609;
    static constexpr int kTabRowHeight = 21;
    static constexpr int kTabHeaderHeight = 3 * kTabRowHeight;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kStartPagesAtTheLatestMs = 300;

    void buildUt99QueryTab(QWidget* page);
    void buildUt99FavouritesTab(QWidget* page);
    void buildAboutAdminTab(QWidget* page);
    void buildUt2004QueryTab(QWidget* page);
    void buildUt2004FavouritesTab(QWidget* page);
    void buildUt2004HelpTab(QWidget* page);
    void buildUt3QueryTab(QWidget* page);
    void buildUt3FavouritesTab(QWidget* page);
    void buildUt3HelpTab(QWidget* page);
    void buildWindowControls();
    void wireTimedActions();
    void openStartPages();
    void giveHandCursor();
    void onTabShown(int index);
    std::optional<int> selectedFavourite(GameKind game) const;
    void wirePresetPickers();
    void wirePingCommands();
    void wireLaunches();
    void wireAdministration();
    struct PingCommand;
    void runPing(const PingCommand& command);
    void clearUt99PingResult(QLineEdit* resultBox, QLineEdit* timeBox);
    void loadFavourites(GameKind game,
                        std::optional<QString> (qElQuery::*reader)(const QString&, const QString&)
                            const);
    void saveFavourites(GameKind game);
    void saveCompleted(GameKind game);
    void pickPreset(GameKind game, QComboBox* combo, const std::array<QLineEdit*, 3>& fields);
    void report(const QString& message);

    Hosts hosts_;
    platform::Desktop desktop_;
    FailureReporter reportFailure_;
    bool hostFieldWantsFocus_ = false;
    bool startPagesOpened_ = false;

    std::unique_ptr<TimedAction> Timer1Action, Timer3Action, Timer04Action, Timer041Action,
        Timerut3Action, Timerut3fAction, Timer2Action, Timer042Action, Timerut3sAction;
};

} // namespace utq
