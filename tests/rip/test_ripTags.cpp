// The FLAC encoder through a small TrackOutput over a file, decoded back with
// libFLAC; the tags of both formats read back with TagLib, not our writer.

#include <gtest/gtest.h>

#include <FLAC/stream_decoder.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "DiscMaker.h"
#include "TestSupport.h"
#include "extract/FlacEncoder.h"
#include "extract/TrackTags.h"

namespace {

// Writes into a file at the current position, as the engine's output does;
// failAfter makes every write past that many bytes fail, as a full disk.
struct FileOutput : ripengine::TrackOutput {
    int fd;
    std::uint64_t failAfter;
    explicit FileOutput(const std::string& path, std::uint64_t limit = ~0ull)
        : fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)), failAfter(limit) {}
    ~FileOutput() override { ::close(fd); }
    bool Write(const void* data, std::size_t bytes) override {
        return Tell() + bytes <= failAfter && ::write(fd, data, bytes) == static_cast<ssize_t>(bytes);
    }
    bool Seek(std::uint64_t offset) override { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0; }
    std::uint64_t Tell() const override { return static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_CUR)); }
    void RequestFlush() override {}
};

// The album is long enough that a frame size needs the syncsafe form.
const ripengine::TrackTags kTags{QStringLiteral("Señal / Ruido"), QStringLiteral("Los Ejemplos"),
                                 QStringLiteral("Álbum ") + QString(140, u'x'), 3, 12};

std::string Pcm(const discmaker::DiscPlan& plan, std::int32_t sectors) {
    std::string pcm(std::size_t(sectors) * discmaker::kSectorBytes, '\0');
    for (std::int32_t s = 0; s < sectors; ++s)
        discmaker::FillSector(plan, s, reinterpret_cast<unsigned char*>(pcm.data()) + std::size_t(s) * discmaker::kSectorBytes);
    return pcm;
}

// The file's samples as 16-bit little-endian stereo, its STREAMINFO's sample
// count, and whether libFLAC's MD5 check of them passed.
struct Decoded {
    std::string pcm;
    std::uint64_t totalSamples = 0;
    bool ok = false;
};

Decoded DecodeFlac(const std::string& path) {
    Decoded d;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, true);
    const auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const buffer[],
                          void* data) {
        auto* out = static_cast<Decoded*>(data);
        for (unsigned i = 0; i < frame->header.blocksize; ++i)
            for (int ch = 0; ch < 2; ++ch)
                out->pcm += {char(buffer[ch][i] & 0xff), char((buffer[ch][i] >> 8) & 0xff)};
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    const auto meta = [](const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* data) {
        if (m->type == FLAC__METADATA_TYPE_STREAMINFO)
            static_cast<Decoded*>(data)->totalSamples = m->data.stream_info.total_samples;
    };
    const auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {};
    d.ok = FLAC__stream_decoder_init_file(decoder, path.c_str(), write, meta, error, &d) ==
               FLAC__STREAM_DECODER_INIT_STATUS_OK &&
           FLAC__stream_decoder_process_until_end_of_stream(decoder);
    d.ok = FLAC__stream_decoder_finish(decoder) && d.ok;  // false on an MD5 mismatch
    FLAC__stream_decoder_delete(decoder);
    return d;
}

// A whole track and one ended early (Begin told the whole length, End the
// part given) decode to exactly the audio given, with STREAMINFO stating its
// samples and an MD5 that matches; the Vorbis comments read back.
TEST(FlacEncoder, DecodesToTheExactAudioWithItsTags) {
    const testsupport::TempFolder folder;
    const discmaker::DiscPlan plan{{300}, 5, false};
    const std::string pcm = Pcm(plan, 300);
    for (const std::int32_t given : {300, 57}) {
        const std::string path = folder.file("t" + std::to_string(given) + ".flac");
        {
            FileOutput out(path);
            auto encoder = ripengine::MakeFlacEncoder(kTags);
            ASSERT_TRUE(encoder->Begin(out, pcm.size()));
            for (std::int32_t s = 0; s < given; s += 26)
                ASSERT_TRUE(encoder->Encode(out, reinterpret_cast<const unsigned char*>(pcm.data()) + s * 2352,
                                            std::min(26, given - s)));
            ASSERT_TRUE(encoder->End(out, std::uint64_t(given) * 2352));
        }
        const Decoded d = DecodeFlac(path);
        EXPECT_TRUE(d.ok) << given;
        EXPECT_EQ(d.totalSamples, std::uint64_t(given) * 588);
        EXPECT_TRUE(d.pcm == pcm.substr(0, std::size_t(given) * 2352)) << given;
    }
    TagLib::FLAC::File file(folder.file("t300.flac").c_str());
    ASSERT_TRUE(file.isValid() && file.xiphComment());
    const auto fields = file.xiphComment()->fieldListMap();
    EXPECT_EQ(fields["TITLE"].toString().to8Bit(true), "Señal / Ruido");
    EXPECT_EQ(fields["ARTIST"].toString().to8Bit(true), "Los Ejemplos");
    EXPECT_EQ(fields["ALBUM"].toString().to8Bit(true), kTags.album.toStdString());
    EXPECT_EQ(fields["TRACKNUMBER"].toString().to8Bit(true), "3/12");
}

// A write that fails is the output's failure, not an encoder fault with a
// text of its own; the encoder is then deleted without touching the output.
TEST(FlacEncoder, AFailedWriteIsNoEncoderFault) {
    const testsupport::TempFolder folder;
    const std::string pcm = Pcm({{52}, 5, false}, 52);
    for (const std::uint64_t limit : {10ull, 20000ull}) {
        FileOutput out(folder.file("t.flac"), limit);
        auto encoder = ripengine::MakeFlacEncoder(kTags);
        bool ok = encoder->Begin(out, pcm.size());
        for (int s = 0; ok && s < 52; s += 26)
            ok = encoder->Encode(out, reinterpret_cast<const unsigned char*>(pcm.data()) + s * 2352, 26);
        EXPECT_FALSE(ok && encoder->End(out, pcm.size())) << limit;
        EXPECT_TRUE(encoder->FaultText().isEmpty()) << encoder->FaultText().toStdString();
    }
}

// TagLib finds an ID3v2.4 tag with UTF-8 frames ahead of the audio, and the
// audio starts right where the tag's syncsafe size says.
TEST(Id3Tag, ReadsBackWithTagLib) {
    const testsupport::TempFolder folder;
    QByteArray tag = ripengine::Id3v24Tag(kTags);
    const QByteArray frame("\xff\xfb\x90\x64", 4);  // an MPEG-1 layer III header
    std::ofstream(folder.file("t.mp3"), std::ios::binary) << tag.toStdString() << frame.toStdString()
                                                          << std::string(413, '\0');
    TagLib::MPEG::File file(folder.file("t.mp3").c_str());
    TagLib::ID3v2::Tag* id3 = file.ID3v2Tag();
    ASSERT_TRUE(id3);
    EXPECT_EQ(id3->header()->majorVersion(), 4u);
    EXPECT_EQ(id3->header()->completeTagSize(), std::uint32_t(tag.size()));
    EXPECT_EQ(id3->title().to8Bit(true), "Señal / Ruido");
    EXPECT_EQ(id3->artist().to8Bit(true), "Los Ejemplos");
    EXPECT_EQ(id3->album().to8Bit(true), kTags.album.toStdString());
    EXPECT_EQ(id3->frameListMap()["TRCK"].front()->toString().to8Bit(true), "3/12");
    for (const auto* f : id3->frameList())
        EXPECT_EQ(f->render().at(10), char(3)) << f->frameID().data();  // UTF-8
    EXPECT_TRUE(ripengine::Id3v24Tag({}).isEmpty());
}

}  // namespace
