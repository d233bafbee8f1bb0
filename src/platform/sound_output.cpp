#include "platform/sound_output.h"

#include <QApplication>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <cstdio>

namespace velmio {

QtSoundOutput::QtSoundOutput(QObject* parent) : QObject(parent) {}

void QtSoundOutput::play(const QString& path) {
    // Qt warns at every sound played without a device; once is enough.
    if (!hasDevice()) {
        if (!toldNoDevice_) std::fprintf(stderr, "velmio: No audio device detected; sounds stay silent\n");
        toldNoDevice_ = true;
        fallBack();
        return;
    }
    toldNoDevice_ = false;  // told again should it go away once more
    if (!QFileInfo(path).isFile()) {
        fallBack();
        return;
    }
    // A fresh effect per sound: stopping the old one is the cut-off, and a
    // file that fails to load reports on its own object only.
    if (effect_) {
        effect_->stop();
        effect_->deleteLater();
    }
    effect_ = new QSoundEffect(this);
    QSoundEffect* effect = effect_;
    connect(effect, &QSoundEffect::statusChanged, this, [this, effect] {
        if (effect->status() == QSoundEffect::Ready) effect->play();
        if (effect->status() == QSoundEffect::Error) fallBack();
    });
    effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool QtSoundOutput::hasDevice() const { return !QMediaDevices::audioOutputs().isEmpty(); }

// The stand-in for the desktop's default sound.
void QtSoundOutput::fallBack() { QApplication::beep(); }

}  // namespace velmio
