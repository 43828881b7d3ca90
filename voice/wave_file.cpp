#include "voice/wave_file.h"

#include "base/file_replace.h"

namespace {

// The sizes of a RIFF file are 32-bit.
static_assert(MaxSoundBytes < 0xFFFFFFFFu - 44, "a recording fits a WAVE file");

void PutLittleEndian(std::string& bytes, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i) & 0xFF);
}

// The RIFF chunk, its 16-byte format chunk and the head of its data chunk,
// 44 bytes. Chunks have even sizes: an odd data chunk is followed by a pad
// byte, which the RIFF chunk counts.
std::string WaveHeader(const WAVEFORMATEX& format, DWORD dataBytes)
{
    std::string header = "RIFF";
    PutLittleEndian(header, 36 + dataBytes + dataBytes % 2, 4);
    header += "WAVEfmt ";
    PutLittleEndian(header, 16, 4);
    PutLittleEndian(header, format.wFormatTag, 2);
    PutLittleEndian(header, format.nChannels, 2);
    PutLittleEndian(header, format.nSamplesPerSec, 4);
    PutLittleEndian(header, format.nAvgBytesPerSec, 4);
    PutLittleEndian(header, format.nBlockAlign, 2);
    PutLittleEndian(header, format.wBitsPerSample, 2);
    header += "data";
    PutLittleEndian(header, dataBytes, 4);
    return header;
}

} // namespace

bool SaveWaveFile(const char* path, const SoundBuffer& sound, std::string& name)
{
    char full[MAX_PATH];
    char* namePart = nullptr;
    const DWORD length = GetFullPathNameA(path, sizeof full, full, &namePart);
    if (length == 0 || length >= sizeof full || !namePart || !*namePart)
        return false;
    const DWORD bytes = static_cast<DWORD>(sound.size());
    const std::string header = WaveHeader(sound.format(), bytes);
    const char pad = 0;
    if (!ReplaceFileInOneStep(full,
                              {{header.data(), header.size()}, {sound.data(), bytes}, {&pad, bytes % 2u}}))
        return false;
    name = namePart;
    return true;
}
