#include "voice/wave_capture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/system_library.h"

namespace {

// PCM mono, tried in this order; the first one the device accepts is used.
struct PcmChoice {
    DWORD rate;
    WORD bits;
};
constexpr PcmChoice PcmChoices[] = {{22050, 16}, {44100, 16}, {11025, 16},
                                    {8000, 16},  {22050, 8},  {11025, 8}};

WAVEFORMATEX PcmFormat(const PcmChoice& choice)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = choice.rate;
    format.wBitsPerSample = choice.bits;
    format.nBlockAlign = static_cast<WORD>(choice.bits / 8);
    format.nAvgBytesPerSec = choice.rate * format.nBlockAlign;
    return format;
}

// Only once Winmm() has been had: a device is open.
const WinmmFunctions& Wave()
{
    return *Winmm();
}

bool AppendRecorded(SoundBuffer& sound, const WAVEHDR& header)
{
    return sound.Append(header.lpData, header.dwBytesRecorded) && sound.size() < MaxSoundBytes;
}

} // namespace

SoundBuffer::SoundBuffer() : format_(PcmFormat(PcmChoices[0])) {}

SoundBuffer::~SoundBuffer()
{
    std::free(data_);
}

DWORD SoundBuffer::Milliseconds() const
{
    return static_cast<DWORD>(size_ * 1000ull / format_.nAvgBytesPerSec);
}

void SoundBuffer::Begin(const WAVEFORMATEX& format)
{
    format_ = format;
    size_ = 0;
}

void SoundBuffer::Release()
{
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

bool SoundBuffer::Append(const char* bytes, std::size_t count)
{
    count = std::min(count, MaxSoundBytes - size_);
    if (size_ + count > capacity_) {
        const std::size_t capacity = std::min(MaxSoundBytes, std::max(size_ + count, capacity_ * 2));
        void* grown = std::realloc(data_, capacity);
        if (!grown)
            return false;
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
    }
    if (count > 0)
        std::memcpy(data_ + size_, bytes, count);
    size_ += count;
    return true;
}

bool CanCapture()
{
    const WinmmFunctions* winmm = Winmm();
    if (!winmm)
        return false;
    for (const PcmChoice& choice : PcmChoices) {
        WAVEFORMATEX format = PcmFormat(choice);
        HWAVEIN probe = nullptr;
        if (winmm->waveInOpen(&probe, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
            winmm->waveInClose(probe);
            return true;
        }
    }
    return false;
}

bool Capture::Open(HWND window)
{
    if (IsOpen() || !Winmm())
        return false;
    for (const PcmChoice& choice : PcmChoices) {
        WAVEFORMATEX format = PcmFormat(choice);
        if (Wave().waveInOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window), 0,
                              CALLBACK_WINDOW) == MMSYSERR_NOERROR) {
            format_ = format;
            break;
        }
        device_ = nullptr;
    }
    if (!device_)
        return false;
    const DWORD size = format_.nAvgBytesPerSec * CaptureBufferMilliseconds / 1000 / format_.nBlockAlign *
                       format_.nBlockAlign;
    for (WAVEHDR& header : headers_)
        header = WAVEHDR{};
    memory_ = static_cast<char*>(std::calloc(CaptureBufferCount, size));
    if (!memory_) {
        Close(nullptr);
        return false;
    }
    for (int i = 0; i < CaptureBufferCount; ++i) {
        headers_[i].lpData = memory_ + std::size_t{size} * i;
        headers_[i].dwBufferLength = size;
        if (Wave().waveInPrepareHeader(device_, &headers_[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
            !Queue(headers_[i])) {
            Close(nullptr);
            return false;
        }
    }
    next_ = 0;
    return true;
}

bool Capture::Start()
{
    if (!IsOpen() || Wave().waveInStart(device_) != MMSYSERR_NOERROR)
        return false;
    started_ = true;
    return true;
}

bool Capture::Restart()
{
    Wave().waveInReset(device_);
    started_ = false;
    Harvest(nullptr, false);
    for (WAVEHDR& header : headers_)
        if (!Queue(header))
            return false;
    next_ = 0;
    return Start();
}

void Capture::Close(SoundBuffer* sound)
{
    if (!device_)
        return;
    Wave().waveInReset(device_); // returns every queued buffer, marked done, before it returns
    Harvest(sound, false);
    for (WAVEHDR& header : headers_)
        Wave().waveInUnprepareHeader(device_, &header, sizeof header);
    Wave().waveInClose(device_);
    device_ = nullptr;
    started_ = false;
    std::free(memory_);
    memory_ = nullptr;
}

bool Capture::Queue(WAVEHDR& header)
{
    header.dwBytesRecorded = 0;
    return Wave().waveInAddBuffer(device_, &header, sizeof header) == MMSYSERR_NOERROR;
}

// The device fills the buffers in queue order, so they are taken in a ring
// from next_; a done buffer is taken once, whichever message brings it.
bool Capture::Harvest(SoundBuffer* sound, bool requeue)
{
    bool goesOn = true;
    for (int i = 0; i < CaptureBufferCount; ++i) {
        WAVEHDR& header = headers_[next_];
        if (!(header.dwFlags & WHDR_DONE))
            break;
        header.dwFlags &= ~WHDR_DONE;
        if (sound)
            goesOn = AppendRecorded(*sound, header) && goesOn;
        if (requeue)
            goesOn = Queue(header) && goesOn;
        next_ = (next_ + 1) % CaptureBufferCount;
    }
    return goesOn;
}
