// Gravix's sounds.
#include "gui/game/GravixSounds.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace zb32 {

Q_LOGGING_CATEGORY(lcSounds, "zb32.gravix.sounds")

EffectPlayer::EffectPlayer()
    : m_hasDevice(!QMediaDevices::audioOutputs().isEmpty())
{
    if (!m_hasDevice) {
        qCInfo(lcSounds) << "no audio output: the game stays silent";
    }
}

EffectPlayer::~EffectPlayer()
{
    qDeleteAll(m_effects);
}

void EffectPlayer::play(const QString& path)
{
    if (!m_hasDevice) {
        return;
    }
    QSoundEffect*& effect = m_effects[path];
    if (!effect) {
        effect = new QSoundEffect();
        effect->setSource(QUrl::fromLocalFile(path));
    }
    // Like the system's own player: a new sound cuts the one still playing.
    if (m_playing && m_playing != effect) {
        m_playing->stop();
    }
    m_playing = effect;
    effect->play(); // returns at once; loading and playing go on in the background
}

void EffectPlayer::stop()
{
    if (m_playing) {
        m_playing->stop();
    }
}

GravixSounds::GravixSounds(QString folder, std::unique_ptr<SoundPlayer> player)
    : m_folder(std::move(folder))
    , m_player(std::move(player))
{ }

GravixSounds::~GravixSounds() = default;

QString GravixSounds::defaultFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("wav"));
}

QString GravixSounds::fileName(int n)
{
    switch (n) {
    case kRotazione:
        return QStringLiteral("gravix3.wav");
    case kSpostamento:
        return QStringLiteral("gravix6.wav");
    case kAtterraggio:
        return QStringLiteral("gravix4.wav");
    case kQuattroRighe:
        return QStringLiteral("gravix7.wav");
    case kFinePartita:
        return QStringLiteral("gravix8.wav");
    case kRighe:
        return QStringLiteral("gravix5.wav");
    default:
        return {};
    }
}

void GravixSounds::Suona(int n)
{
    const QString name = fileName(n);
    if (name.isEmpty()) {
        return;
    }
    // Looked for at every sound: files added or deleted while the game runs count at once.
    const QString path = QDir(m_folder).filePath(name);
    if (!QFileInfo(path).isFile()) {
        return;
    }
    if (!m_player) {
        m_player = std::make_unique<EffectPlayer>();
    }
    m_player->play(path);
}

void GravixSounds::stop()
{
    if (m_player) {
        m_player->stop();
    }
}

} // namespace zb32
