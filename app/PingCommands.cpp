// The six "Ping" buttons: each resolves the address its tab shows, pings it once with a
// one-second time-out and writes what happened into the two boxes beside it.
#include "app/qElQuery.h"

#include "net/PingIPv4.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace utq {
namespace {

constexpr std::int32_t kPingTimeoutMs = 1000;

} // namespace

// Where a ping command takes its address from and where it writes its outcome.
struct qElQuery::PingCommand {
    QLineEdit* addressBox; // the query tab's address, written back with the dotted address
    GameKind game;         // for a favourites tab (no address box): whose selected row
    QLineEdit* resultBox;
    QLineEdit* timeBox;
    QLabel* statusLabel;
    const char* success;
    const char* failure;
};

void qElQuery::wirePingCommands() {
    connect(cmdPing, &QPushButton::clicked, this, &qElQuery::cmdPing_Click);
    connect(cmdPing2, &QPushButton::clicked, this, &qElQuery::cmdPing2_Click);
    connect(cmdping04, &QPushButton::clicked, this, &qElQuery::cmdping04_Click);
    connect(cmdping042, &QPushButton::clicked, this, &qElQuery::cmdping042_Click);
    connect(cmdpUT3, &QPushButton::clicked, this, &qElQuery::cmdpUT3_Click);
    connect(cmdpUT32, &QPushButton::clicked, this, &qElQuery::cmdpUT32_Click);
}

void qElQuery::cmdPing_Click() {
    runPing({txtNameOrIP, GameKind::UT99, txtText4[0], txtText4[1], lblStatus,
             "Ping Result: Success", "Ping Result: Failure"});
}

void qElQuery::cmdPing2_Click() {
    runPing({nullptr, GameKind::UT99, txtText4[3], txtText4[2], lblStatus, "Ping Result: Success",
             "Ping Result: Failure"});
}

void qElQuery::cmdping04_Click() {
    runPing(
        {txt04Server, GameKind::UT2004, txt04ping[0], txt04ping[1], ut04, "Success", "Failure"});
}

void qElQuery::cmdping042_Click() {
    runPing({nullptr, GameKind::UT2004, txt04ping[2], txt04ping[3], ut042, "Success", "Failure"});
}

void qElQuery::cmdpUT3_Click() {
    runPing({ut3iptxt, GameKind::UT3, txtpUT3[0], txtpUT3[1], lblUt32, "Success", "Failure"});
}

void qElQuery::cmdpUT32_Click() {
    runPing({nullptr, GameKind::UT3, txtpUT3[2], txtpUT3[3], lblUt3, "Success", "Failure"});
}

void qElQuery::runPing(const PingCommand& command) {
    command.resultBox->clear();
    command.statusLabel->clear();
    command.timeBox->clear();
    // The look-up and the echo block the window: show the emptied boxes while they last.
    repaint();

    QString address;
    if (command.addressBox)
        address = command.addressBox->text();
    else if (const auto row = selectedFavourite(command.game))
        address = favouriteRow(command.game, *row).address->text();

    QString ip;
    const std::int32_t code = Pinger->Resolve(address, ip);
    if (code != 0) {
        command.resultBox->setText(QStringLiteral("Failure")); // this word on every tab
        command.statusLabel->setText(QString::number(code));
    } else {
        if (command.addressBox)
            command.addressBox->setText(ip);
        if (Pinger->Ping(ip, kPingTimeoutMs, QString())) {
            command.resultBox->setText(QLatin1String(command.success));
            command.timeBox->setText(QString::number(Pinger->RoundTripTime) + QStringLiteral("ms"));
        } else {
            command.resultBox->setText(QLatin1String(command.failure));
            command.timeBox->setText(QStringLiteral("n/a"));
        }
        if (Pinger->Reason != 1)
            command.statusLabel->setText(QString::number(Pinger->Status));
    }
    FocusHostField();
}

} // namespace utq
