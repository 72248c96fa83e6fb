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
    // True when a file was open (and is now closed), whatever close said.
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
    std::int16_t writeWavHeader(std::int32_t Lenght);
    // Rewrites the header at the start of the file for Lenght bytes, leaving
    // the position where it is: for a file that ends up shorter than planned.
    std::int16_t UpdateWavHeader(std::int32_t Lenght);

    // The 44 header bytes for Lenght bytes of 44100 Hz 16-bit stereo audio.
    static void BuildWavHeader(std::int32_t Lenght, unsigned char header[kWavHeaderBytes]);

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

    // -1 before the first open and after a close: on this system 0 is a valid
    // descriptor (standard input), so it cannot stand for "no file".
    std::int32_t handle_ = -1;
    std::int32_t lastResult_ = 0;
    std::int32_t bytesTransferred_ = 0;
    QString fileName_;
    int lastError_ = 0;
};
