#include "wizard/ErrorSound.h"

#include "base/AtomicFile.h"
#include "base/EmbeddedResources.h"
#include "base/ExceptionText.h"
#include "base/Utf.h"

#include <QFile>
#include <QSoundEffect>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace orvex {

namespace {

bool IsSocket(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_socket(path, error);
}

} // namespace

bool AudioServerReachable() {
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server)
        return true;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        if (IsSocket(std::filesystem::path(runtime) / "pulse" / "native"))
            return true;
    return IsSocket(std::filesystem::path("/run/user") / std::to_string(getuid()) / "pulse" / "native") ||
           IsSocket("/var/run/pulse/native");
}

TErrorSound::TErrorSound(std::u16string fileName) : FFileName(std::move(fileName)) {}

TErrorSound::~TErrorSound() = default;

std::u16string TErrorSound::Play() {
    std::u16string failure;
    if (!FLoaded) {
        FLoaded = true;
        try {
            WriteFileAtomically(FFileName, FindEmbeddedResource(u"MetalClang").value_or(std::string_view()));
        } catch (const std::exception& error) {
            failure = u"The error sound cannot be written: " + ExceptionMessage(error);
        }
    }
    const QString file = QString::fromStdU16String(FFileName);
    if (!QFile::exists(file) || !AudioServerReachable())
        return failure;
    if (!FEffect) {
        FEffect = std::make_unique<QSoundEffect>();
        FEffect->setSource(QUrl::fromLocalFile(file));
    }
    FEffect->play();
    return failure;
}

void TErrorSound::RemoveFile() {
    FEffect.reset();
    const std::filesystem::path path(Utf16ToUtf8(FFileName));
    std::error_code ignored;
    if (!std::filesystem::is_directory(path, ignored))
        std::filesystem::remove(path, ignored);
}

} // namespace orvex
