#include "output/modLAME.h"

#include "general/modFiles.h"
#include "general/modGeneral.h"

#include <QFileInfo>

#include <array>
#include <dlfcn.h>

namespace modLAME {

QString LameErrorText(std::uint32_t code) {
    static const std::array<const char*, 6> kTexts = {
        "No Error",        "Invalid format", "Invalid format parameters",
        "No more handles", "Invalid handle", "Buffer too small",
    };
    if (code >= kTexts.size())
        return {};
    return QString::fromLatin1(kTexts[code]);
}

std::int32_t PresetForQuality(int index) {
    using namespace lame_enc;
    static constexpr std::array<std::int32_t, 10> kByIndex = {
        kPresetLow,   kPresetNormal, kPresetHigh, kPresetVoice, kPresetPhone,
        kPresetRadio, kPresetTape,   kPresetHifi, kPresetCD,    kPresetStudio,
    };
    if (index < 0 || index >= static_cast<int>(kByIndex.size()))
        return kPresetNormal;
    return kByIndex[static_cast<std::size_t>(index)];
}

QString ModulePath() {
    return modGeneral::PrivateModulePath(QStringLiteral("lame_enc.so"));
}

void LameLibrary::Unload::operator()(void* module) const noexcept {
    ::dlclose(module);
}

namespace {

// The loader's own words first, then what the person can do about it.
QString Explained(const QString& why) {
    return why +
           QStringLiteral("\n\nMP3 files are made by the encoder module lame_enc.so, which "
                          "belongs in %1. Install the program again, or choose WAV in Settings.")
               .arg(QFileInfo(ModulePath()).path());
}

// dlsym's result as the function type it is known to have.
template <typename F> bool Resolve(void* module, const char* name, F& function, QString& error) {
    ::dlerror();
    void* symbol = ::dlsym(module, name);
    if (!symbol) {
        const char* why = ::dlerror();
        error = Explained(why ? QString::fromLocal8Bit(why)
                              : QStringLiteral("%1: undefined symbol").arg(QLatin1String(name)));
        return false;
    }
    function = reinterpret_cast<F>(symbol);
    return true;
}

} // namespace

std::optional<LameLibrary> LameLibrary::Load(QString& error) {
    LameLibrary library;
    library.module_.reset(
        ::dlopen(modFiles::PathBytes(ModulePath()).constData(), RTLD_NOW | RTLD_LOCAL));
    if (!library.module_) {
        const char* why = ::dlerror();
        error = Explained(why ? QString::fromLocal8Bit(why)
                              : QStringLiteral("Cannot load %1").arg(ModulePath()));
        return std::nullopt;
    }
    void* m = library.module_.get();
    if (!Resolve(m, "beInitStream", library.beInitStream, error) ||
        !Resolve(m, "beEncodeChunk", library.beEncodeChunk, error) ||
        !Resolve(m, "beDeinitStream", library.beDeinitStream, error) ||
        !Resolve(m, "beCloseStream", library.beCloseStream, error))
        return std::nullopt;
    library.beGetInfoTag = reinterpret_cast<lame_enc::BeGetInfoTag>(::dlsym(m, "beGetInfoTag"));
    return library;
}

} // namespace modLAME
