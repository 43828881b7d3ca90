// Recording from the wave-in device into memory: the device opened on the
// first PCM format it accepts, a ring of buffers it fills and the program
// recycles, and the sound collected from them.
#ifndef APPUNTELLO_VOICE_WAVE_CAPTURE_H
#define APPUNTELLO_VOICE_WAVE_CAPTURE_H

#include <windows.h>

#include <mmsystem.h>

#include <cstddef>

// The recording is held in memory: it stops at 64 MiB (25 minutes at 22 kHz)
// rather than exhaust a 32-bit address space.
constexpr std::size_t MaxSoundBytes = std::size_t{64} << 20;

// Enough queued buffers to ride out a second in which the thread is busy.
constexpr int CaptureBufferCount = 4;
constexpr DWORD CaptureBufferMilliseconds = 250;
// A device that has filled no buffer for this long has failed (a sound server
// that went away).
constexpr DWORD CaptureSilenceLimit = CaptureBufferCount * CaptureBufferMilliseconds + 1000;

// A recording held in memory with its format, grown as it comes; a growth
// that fails ends the recording, never the program. At most MaxSoundBytes.
class SoundBuffer {
  public:
    SoundBuffer();
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    const WAVEFORMATEX& format() const { return format_; }
    DWORD Milliseconds() const;
    // Empty again, recording in that format from now on.
    void Begin(const WAVEFORMATEX& format);
    void clear() { size_ = 0; }
    // Empty, and its memory given back.
    void Release();
    // Appends what fits below MaxSoundBytes; false when no memory could be had.
    bool Append(const char* bytes, std::size_t count);

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    WAVEFORMATEX format_;
};

// True when the wave-in device accepts one of the formats the capture records in.
bool CanCapture();

// The wave-in device while it records: its handle and its buffers, queued and
// recycled. The device posts MM_WIM_DATA to the window for each filled buffer.
class Capture {
  public:
    Capture() = default;
    ~Capture() { Close(nullptr); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool IsOpen() const { return device_ != nullptr; }
    bool IsStarted() const { return started_; }
    // The format the device records in, once open.
    const WAVEFORMATEX& format() const { return format_; }

    // Opens the device with its buffers queued; it records only once started.
    bool Open(HWND window);
    bool Start();
    // Moves what the device has recorded into sound, in the order it was
    // recorded, and gives the buffers back to the device. Returns false when
    // the recording is full or the device fails: the capture must then end.
    bool Collect(SoundBuffer& sound) { return IsOpen() && Harvest(&sound, true); }
    // Drops everything recorded, and recording goes on from empty.
    bool Restart();
    // Stops the device, appending what it recorded to sound when given, and
    // releases it. The MM_WIM_DATA messages still on their way find nothing.
    void Close(SoundBuffer* sound);

  private:
    bool Queue(WAVEHDR& header);
    bool Harvest(SoundBuffer* sound, bool requeue);

    HWAVEIN device_ = nullptr;
    bool started_ = false;
    WAVEFORMATEX format_{};
    // The buffers' memory, one block from malloc: a device that cannot have
    // it is not opened, and the program goes on.
    char* memory_ = nullptr;
    WAVEHDR headers_[CaptureBufferCount] = {};
    int next_ = 0;
};

#endif
