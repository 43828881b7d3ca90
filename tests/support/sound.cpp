#include "tests/support/sound.h"

#include <mmsystem.h>

#include <cstdint>

#include "tests/support/files.h"

namespace {

std::uint32_t Little(const std::string& bytes, size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

double CheckedSeconds(const std::string& path, const PcmLayout* expected, Where at)
{
    TRACE_CALLER(at);
    const std::string bytes = testfiles::ReadFile(path);
    bool valid = bytes.size() >= 44 && bytes.compare(0, 4, "RIFF") == 0 &&
                 Little(bytes, 4, 4) == bytes.size() - 8 && bytes.compare(8, 8, "WAVEfmt ") == 0 &&
                 Little(bytes, 16, 4) == 16 && Little(bytes, 20, 2) == WAVE_FORMAT_PCM &&
                 Little(bytes, 28, 4) > 0 && bytes.compare(36, 4, "data") == 0 &&
                 Little(bytes, 40, 4) == bytes.size() - 44;
    if (valid && expected) {
        const std::uint32_t blockAlign = expected->channels * expected->bits / 8u;
        valid = Little(bytes, 22, 2) == expected->channels && Little(bytes, 24, 4) == expected->rate &&
                Little(bytes, 28, 4) == expected->rate * blockAlign && Little(bytes, 32, 2) == blockAlign &&
                Little(bytes, 34, 2) == expected->bits;
    }
    EXPECT_TRUE(valid) << path << " is not " << (expected ? "the expected" : "a canonical PCM")
                       << " WAVE file (" << bytes.size() << " bytes)";
    return valid ? (bytes.size() - 44) / static_cast<double>(Little(bytes, 28, 4)) : -1;
}

} // namespace

double WaveSeconds(const std::string& path, Where at)
{
    return CheckedSeconds(path, nullptr, at);
}

double WaveSeconds(const std::string& path, const PcmLayout& expected, Where at)
{
    return CheckedSeconds(path, &expected, at);
}

double SecondsSince(DWORD tick)
{
    return (GetTickCount() - tick) / 1000.0;
}
