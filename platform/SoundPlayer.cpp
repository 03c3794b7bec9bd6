#include "platform/SoundPlayer.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace utq::platform {
namespace {

class DesktopSoundPlayer : public SoundPlayer {
public:
    void playAsync(const QString& wavPath) override {
        if (!QFileInfo(wavPath).isFile()) {
            QApplication::beep();
            return;
        }
        QPointer<QSoundEffect>& effect = effects_[wavPath];
        if (!effect) {
            effect = new QSoundEffect(qApp);
            QObject::connect(effect, &QSoundEffect::statusChanged, effect, [e = effect.data()] {
                if (e->status() == QSoundEffect::Ready && e->property("wanted").toBool()) {
                    e->setProperty("wanted", false);
                    e->play();
                } else if (e->status() == QSoundEffect::Error) {
                    QApplication::beep();
                }
            });
            effect->setSource(QUrl::fromLocalFile(wavPath));
        }
        // The file loads in the background; it plays as soon as it is ready.
        if (effect->status() == QSoundEffect::Ready)
            effect->play();
        else if (effect->status() == QSoundEffect::Error)
            QApplication::beep();
        else
            effect->setProperty("wanted", true);
    }

private:
    QHash<QString, QPointer<QSoundEffect>> effects_;
};

} // namespace

std::shared_ptr<SoundPlayer> desktopSoundPlayer() {
    static std::shared_ptr<SoundPlayer> player = std::make_shared<DesktopSoundPlayer>();
    return player;
}

} // namespace utq::platform
