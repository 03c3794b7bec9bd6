// The favourite servers of the three "Favorite Servers" tabs: loaded once at start-up from the
// games' favourites files, saved back by "Save Changes".
#include "app/qElQuery.h"

#include "admin/AlertDialog.h"
#include "favourites/FavouritesFile.h"
#include "platform/ProfileReader.h"
#include "platform/TextFileWriter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace utq {
namespace {

std::optional<QString> readValue(const QString& section, const QString& key, const QString& path) {
    const QString value = platform::readProfileString(section, key, path);
    return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
}

} // namespace

std::optional<QString> qElQuery::GetIni(const QString& Section, const QString& Key) const {
    return readValue(Section, Key, IniPath);
}

std::optional<QString> qElQuery::GetIni04(const QString& Section, const QString& Key) const {
    return readValue(Section, Key, IniPath);
}

std::optional<QString> qElQuery::GetIniut3(const QString& Section, const QString& Key) const {
    return readValue(Section, Key, IniPath);
}

void qElQuery::ReadIni() { loadFavourites(GameKind::UT99, &qElQuery::GetIni); }
void qElQuery::ReadIni04() { loadFavourites(GameKind::UT2004, &qElQuery::GetIni04); }
void qElQuery::ReadIniut3() { loadFavourites(GameKind::UT3, &qElQuery::GetIniut3); }

void qElQuery::loadFavourites(GameKind game,
                              std::optional<QString> (qElQuery::*reader)(const QString&,
                                                                         const QString&) const) {
    // What a save killed half-way left beside the file goes first.
    platform::removeInterruptedSaves(IniPath);
    // Every box is assigned, also the locked first UT2004 row, also with nothing found.
    const QString section = QLatin1String(favourites::kSection);
    for (int slot = 1; slot <= favourites::kSlotCount; ++slot)
        for (int field = 0; field < favourites::fieldCount(game); ++field)
            favouriteRow(game, slot)
                .field(field)
                ->setText((this->*reader)(section, favourites::keyOf(game, slot, field))
                              .value_or(QString()));
}

void qElQuery::lookup2() { saveFavourites(GameKind::UT99); }
void qElQuery::lookup042() { saveFavourites(GameKind::UT2004); }
void qElQuery::lookuput3s() { saveFavourites(GameKind::UT3); }

void qElQuery::saveFavourites(GameKind game) {
    favourites::Favourites rows;
    for (int slot = 1; slot <= favourites::kSlotCount; ++slot)
        for (int field = 0; field < favourites::fieldCount(game); ++field)
            rows[static_cast<std::size_t>(slot - 1)][static_cast<std::size_t>(field)] =
                favouriteRow(game, slot).field(field)->text();
    // The file start-up read, beside the executable, whatever the current folder is.
    const QString path = desktop_.programFolder + u'/' + favourites::fileName(game);
    const auto result = desktop_.fileWriter->replaceContent(path, favourites::fileText(game, rows));
    if (!result.ok)
        throw Failure(QStringLiteral("Your favourite servers could not be saved.\n\n%1\n\n"
                                     "Nothing was written, and every row keeps what you typed.")
                          .arg(result.error));
}

void qElQuery::saveCompleted(GameKind game) {
    desktop_.sound->playAsync(desktop_.programFolder + QStringLiteral("/wickedsick.wav"));
    AlertDialog* dialog = nullptr;
    switch (game) {
    case GameKind::UT99:
        dialog = Alert::Show(this, txtPooPooPeePee);
        break;
    case GameKind::UT2004:
    case GameKind::UT3:
        dialog = Alert2::Show(this, txtPooPooPeePee);
        break;
    }
    dialog->lblAlert->setText(QStringLiteral("Changes Successfully Saved!"));
    dialog->cmdOK->hide();
    dialog->cmdOK2->show();
}

} // namespace utq
