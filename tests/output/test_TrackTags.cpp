// What a track's file says about itself, read back as taggers and players
// read it: the ID3v2.4 tag that starts an MP3 file through TagLib, a FLAC
// file's Vorbis comments through metaflac.

#include <gtest/gtest.h>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>

#include "OutputFixture.h"
#include "TestSupport.h"
#include "output/FlacEncoder.h"
#include "output/TrackTags.h"

namespace {

using namespace outputtest;

// "KEY=value" lines as TagLib maps the tag's frames to names, in its order.
// Every text frame must be UTF-8.
std::string Id3Properties(const std::string& file) {
    TagLib::MPEG::File mp3(file.c_str());
    const TagLib::ID3v2::Tag* tag = mp3.ID3v2Tag();
    if (!mp3.hasID3v2Tag() || !tag)
        return "no ID3v2 tag";
    EXPECT_EQ(tag->header()->majorVersion(), 4u);
    for (const TagLib::ID3v2::Frame* frame : tag->frameList()) {
        const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame);
        EXPECT_TRUE(text && text->textEncoding() == TagLib::String::UTF8)
            << frame->frameID().data();
    }
    std::string lines;
    for (const auto& [key, values] : tag->properties())
        lines += (key + "=" + values.toString() + "\n").to8Bit(true);
    return lines;
}

// Taggers want the track number and the track count apart in Vorbis comments and together in
// ID3's TRCK; so too the disc's place in its set. What the disc does not tell is left out.
TEST(TrackTags, TaggersReadEveryField) {
    const testsupport::TempFolder folder;
    const std::string mp3 = folder.file("t.mp3"), flac = folder.file("t.flac");
    const struct {
        ripengine::TrackTags tags;
        std::string id3, vorbis;
    } cases[] = {
        {{QStringLiteral("Señal / Ruido"), QStringLiteral("Guest"), QStringLiteral("Álbum Uno"), 2,
          12, QStringLiteral("Los Ejemplos"), 1, 2, QStringLiteral("1998-05-21"),
          QStringLiteral("Hard Rock"), QStringLiteral("GBAYE9800012"),
          QStringLiteral("0724349691121")},
         "ALBUM=Álbum Uno\nALBUMARTIST=Los Ejemplos\nARTIST=Guest\nBARCODE=0724349691121\n"
         "DATE=1998-05-21\nDISCNUMBER=1/2\nGENRE=Hard Rock\nISRC=GBAYE9800012\n"
         "TITLE=Señal / Ruido\nTRACKNUMBER=2/12\n",
         "TITLE=Señal / Ruido\nARTIST=Guest\nALBUMARTIST=Los Ejemplos\nALBUM=Álbum Uno\n"
         "TRACKNUMBER=2\nTRACKTOTAL=12\nDISCNUMBER=1\nDISCTOTAL=2\nDATE=1998-05-21\n"
         "GENRE=Hard Rock\nISRC=GBAYE9800012\nBARCODE=0724349691121\n"},
        {{QStringLiteral("Track 03 - CD1"), {}, {}, 3, 0, {}, 1},
         "DISCNUMBER=1\nTITLE=Track 03 - CD1\nTRACKNUMBER=3\n",
         "TITLE=Track 03 - CD1\nTRACKNUMBER=3\nDISCNUMBER=1\n"},
    };
    for (const auto& c : cases) {
        std::ofstream(mp3, std::ios::binary) << ripengine::Id3v24Tag(c.tags).toStdString();
        EXPECT_EQ(Id3Properties(mp3), c.id3);
        const Encoded r = Encode(*ripengine::MakeFlacEncoder(c.tags), flac, 1u << 30, Audio(75));
        EXPECT_TRUE(r.written && r.ended);
        EXPECT_EQ(Command("metaflac --export-tags-to=- '" + flac + "'"), c.vorbis);
    }
}

} // namespace
