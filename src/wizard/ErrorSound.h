#pragma once
// The sound that answers invalid input: the embedded WAV "MetalClang", written to
// a file on first use and played from there without waiting for it.

#include <memory>
#include <string>

class QSoundEffect;

namespace orvex {

class TErrorSound {
public:
    explicit TErrorSound(std::u16string fileName);
    ~TErrorSound();
    TErrorSound(const TErrorSound&) = delete;
    TErrorSound& operator=(const TErrorSound&) = delete;

    // Writes the file on the first call of a run (replacing what is there), then
    // plays it. Gives the reason when the file could not be written, once; later
    // calls only try to play. Without an audio server nothing is heard.
    std::u16string Play();

    // Deletes the file; a failure is ignored.
    void RemoveFile();

private:
    std::u16string FFileName;
    bool FLoaded = false;
    std::unique_ptr<QSoundEffect> FEffect;
};

// True when a sound server is there to play to. Asked before Qt Multimedia is
// touched: without a server it reports its failure as a Qt warning.
bool AudioServerReachable();

} // namespace orvex
