// Gravix's sounds: the files gravix3.wav .. gravix8.wav in the "wav" folder beside the program,
// started without waiting; a missing file is simply not heard.
#pragma once

#include "core/game/Suoni.h"

#include <QHash>
#include <QString>
#include <memory>

class QSoundEffect;

namespace zb32 {

// Plays one sound file; the game's own player and the tests' recording one.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& path) = 0;
    virtual void stop() { }
};

// Qt Multimedia's sound effects, one per file, one sound at a time. Silent without an audio device.
class EffectPlayer : public SoundPlayer
{
public:
    EffectPlayer();
    ~EffectPlayer() override;
    void play(const QString& path) override;
    void stop() override;

private:
    bool m_hasDevice = false;
    QHash<QString, QSoundEffect*> m_effects;
    QSoundEffect* m_playing = nullptr;
};

class GravixSounds : public Suoni
{
public:
    // `player` null: the game's own player, made at the first sound that has a file.
    explicit GravixSounds(QString folder = defaultFolder(), std::unique_ptr<SoundPlayer> player = {});
    ~GravixSounds() override;

    static QString defaultFolder();
    // The file of sound n ("gravix3.wav" for 1, ...); empty for numbers without a sound.
    static QString fileName(int n);

    void Suona(int n) override;
    void stop();

private:
    QString m_folder;
    std::unique_ptr<SoundPlayer> m_player;
};

} // namespace zb32
