#pragma once
// The MP3 encoder module as the program sees it: loaded at run time as a
// private module, its result codes as text, and the quality presets the
// settings window offers.

#include "output/lame_enc.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace modLAME {

// "Invalid format parameters" for 2; empty text for codes without one.
QString LameErrorText(std::uint32_t code);

// The preset code for cmbQuality's list index ("Low", "Normal", "High",
// "Voice", "Phone", "Radio", "Tape", "Hifi", "CD", "Studio"); 0 for no
// selection or any other index.
std::int32_t PresetForQuality(int index);

// lame_enc.so beside the program, or in ../lib/dorvane/ from its folder once
// installed (see modGeneral::PrivateModulePath).
QString ModulePath();

// The loaded module and its functions; unloaded when destroyed.
class LameLibrary {
  public:
    // Loads the module; on failure gives nothing, and in error the loader's
    // own message followed by what the person can do.
    static std::optional<LameLibrary> Load(QString& error);

    lame_enc::BeInitStream beInitStream = nullptr;
    lame_enc::BeEncodeChunk beEncodeChunk = nullptr;
    lame_enc::BeDeinitStream beDeinitStream = nullptr;
    lame_enc::BeCloseStream beCloseStream = nullptr;
    // Null for a module without it, which still makes files without an Info
    // frame, as the window's are.
    lame_enc::BeGetInfoTag beGetInfoTag = nullptr;

  private:
    struct Unload {
        void operator()(void* module) const noexcept;
    };
    std::unique_ptr<void, Unload> module_;
};

} // namespace modLAME
