#include "platform/sound_output.h"

#include <QApplication>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <cstdio>

namespace velmio {
namespace {

QtMessageHandler qtHandler = nullptr;

// Without a sound server Qt Multimedia says so on the console when it first
// looks for a device; play() tells the user once, in its own words.
void QuietWithoutSoundServer(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("PulseAudioService: pa_context_connect()"))) return;
    qtHandler(type, context, text);
}

}  // namespace

QtSoundOutput::QtSoundOutput(QObject* parent) : QObject(parent) {
    if (!qtHandler) qtHandler = qInstallMessageHandler(QuietWithoutSoundServer);
}

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
