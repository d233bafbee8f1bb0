#pragma once

#include <QStringList>
#include <memory>

#include "platform/sound_output.h"

namespace velmio {

// The wave player loaded at the first sound or the first question about a
// device: Qt Multimedia and the sound server's libraries weigh on a program
// that stays resident all day and may never sound. The player lives in the
// module velmio-sound.so, searched for in the folders given in turn.
class SoundOnDemand : public SoundOutput {
public:
    explicit SoundOnDemand(QStringList folders);
    ~SoundOnDemand() override;
    // Beside the program in bin, then where an installation keeps its modules.
    static QStringList ProgramFolders(const QString& bin);

    void play(const QString& path) override;
    bool hasDevice() const override;

private:
    SoundOutput* output() const;

    QStringList folders_;
    mutable std::unique_ptr<SoundOutput> output_;
    mutable bool tried_ = false;
};

}  // namespace velmio
