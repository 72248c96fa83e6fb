#pragma once
// The program's only way of writing output files: one file descriptor,
// written straight from the caller's memory, and the 44-byte WAV header.
// Booleans are the program's own: True is -1, False is 0.

#include <QString>

#include <cstdint>

class clsFileIo {
  public:
    static constexpr std::int16_t True = -1;
    static constexpr std::int16_t False = 0;
    static constexpr int kWavHeaderBytes = 44;

    clsFileIo() = default;
    ~clsFileIo();
    clsFileIo(const clsFileIo&) = delete;
    clsFileIo& operator=(const clsFileIo&) = delete;

    // Opens FileN for reading and writing, creating it when missing and
    // emptying it when it exists, and holds an exclusive lock on it so that no
    // other writer shares it. False when it cannot (LastError tells why).
    std::int16_t OpenFile(const QString& FileN);
    // Opens a file nobody sees in FileN's folder (an unnamed file where the
    // file system allows it, otherwise a short hidden name): it takes FileN's
    // name only in Land, so a run cut short by anything, even a power cut,
    // never leaves a file under FileN that claims audio it does not hold, and
    // an older file there keeps its bytes until then. What is at FileN now
    // is the caller's to judge. False when it cannot (LastError tells why).
    // DORVANE_NO_TMPFILE in the environment makes it always take the name.
    std::int16_t OpenHidden(const QString& FileN);
    // Gives a file opened by OpenHidden its name, replacing an older file,
    // once what was written has reached the disk. The file stays open.
    std::int16_t Land();
    // The same under another name than the one it was opened for.
    std::int16_t LandAs(const QString& FileN);
    // False when the last Land could not flush the folder that holds the
    // name: the file is there, but a power cut could still lose its name.
    bool FolderSynced() const { return folderSynced_; }
    // Cuts the file to size bytes.
    bool Truncate(std::int64_t size);
    // Removes the hidden files that runs which are no longer alive left in
    // folder (a kill or a power cut between their link and their rename);
    // how many it removed.
    static int RemoveStaleHidden(const QString& folder);
    // True when a file was open (and is now closed), whatever close said. A
    // hidden file that was not landed is removed.
    std::int16_t CloseFile();
    // Writes Size bytes from Pointer at the current position, going on after
    // a partial write until all are written or the system reports an error.
    std::int16_t WriteBytes(const void* Pointer, std::int32_t Size);
    // Makes what was written durable on the disk.
    std::int16_t FlushBuffers();
    // Reads up to bytes bytes into Pointer: 1 on success, 0 on failure.
    std::int32_t ReadBytes(void* Pointer, std::int32_t bytes);
    // Writes the WAV header for Lenght bytes of CD audio at the current
    // position and flushes it to the disk.
    std::int16_t writeWavHeader(std::uint32_t Lenght);
    // Rewrites the header at the start of the file for Lenght bytes, leaving
    // the position where it is: for a file that ends up shorter than planned.
    std::int16_t UpdateWavHeader(std::uint32_t Lenght);

    // The 44 header bytes for Lenght bytes of 44100 Hz 16-bit stereo audio.
    // The format's sizes are unsigned 32-bit numbers: audio up to
    // kMaxWavAudioBytes fits.
    static constexpr std::uint32_t kMaxWavAudioBytes = 0xFFFFFFFFu - 36;
    static void BuildWavHeader(std::uint32_t Lenght, unsigned char header[kWavHeaderBytes]);

    // Moves the position; the current position, or -1 when it cannot.
    std::int64_t Seek(std::int64_t offset);
    std::int64_t Tell() const;

    bool IsOpen() const { return !fileName_.isEmpty() && handle_ != -1; }
    std::int32_t Handle() const { return handle_; }
    // Non-zero when the last close, write or flush succeeded.
    std::int32_t LastResult() const { return lastResult_; }
    std::int32_t BytesTransferred() const { return bytesTransferred_; }
    const QString& FileName() const { return fileName_; }
    // errno of the last operation that failed, 0 if none has.
    int LastError() const { return lastError_; }

  private:
    bool WriteAll(const void* data, std::int32_t size, std::int32_t& written);
    bool SyncData();

    void ForgetHidden();

    // -1 before the first open and after a close: on this system 0 is a valid
    // descriptor (standard input), so it cannot stand for "no file".
    std::int32_t handle_ = -1;
    std::int32_t lastResult_ = 0;
    std::int32_t bytesTransferred_ = 0;
    QString fileName_;
    int lastError_ = 0;
    // A file of OpenHidden not landed yet: unnamed (O_TMPFILE), or under
    // hiddenName_ when the file system needs a name.
    bool hidden_ = false;
    QByteArray hiddenName_;
    bool folderSynced_ = true;
};
