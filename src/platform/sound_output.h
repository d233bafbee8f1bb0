#pragma once

#include <QObject>
#include <QString>

class QSoundEffect;

namespace velmio {

// The wave player: one sound at a time, a new one cuts off the one playing.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual void play(const QString& path) = 0;
    virtual bool hasDevice() const = 0;
};

class QtSoundOutput : public QObject, public SoundOutput {
    Q_OBJECT
public:
    explicit QtSoundOutput(QObject* parent = nullptr);
    void play(const QString& path) override;
    bool hasDevice() const override;

private:
    void fallBack();
    QSoundEffect* effect_ = nullptr;
    bool toldNoDevice_ = false;
};

}  // namespace velmio
