#pragma once
// Small message files for the list and load-command tests, and what their
// uploads show on the console.

#include <cstdint>
#include <string>

// A mono mu-law RIFF/WAVE file whose data chunk holds `data_size` bytes.
inline std::string mulaw_wav(std::uint32_t data_size)
{
    auto u16 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
    };
    auto u32 = [&](std::uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    std::string data;
    for (std::uint32_t i = 0; i < data_size; ++i)
        data += static_cast<char>(0x80 + i % 64);
    const std::string fmt = u16(7) + u16(1) + u32(8000) + u32(8000) + u16(1) + u16(8);
    const std::string body = "WAVE" + std::string("fmt ") + u32(16) + fmt + "data" + u32(data_size) + data;
    return "RIFF" + u32(static_cast<std::uint32_t>(body.size())) + body;
}

// The spinner of an upload of n payload bytes: a slash, then one backspace and
// a slash or backslash for each full block.
inline std::string spinner(int n)
{
    std::string shown = "/";
    for (int block = 0; block < n / 16; ++block)
        shown += block % 2 == 0 ? "\b/" : "\b\\";
    return shown;
}

// What a successful GSM upload of a file of `records` frames shows.
inline std::string gsm_shown(const std::string& name, int records = 1)
{
    const int n = records * 34;
    return "\n Enviando " + name + " tamanho " + std::to_string(n) + " " + spinner(n);
}

// What a successful upload of mulaw_wav(n) shows.
inline std::string wav_shown(const std::string& name, int n)
{
    return "\nAbriu arquivo \"" + name + "\"\nFormato CCITT mono \n Enviando " + name + " tamanho " +
           std::to_string(n) + " (PCM lei-u) " + spinner(n);
}

inline std::string not_opened(const std::string& name)
{
    return "\nNao consegui abrir arquivo \"" + name + "\"";
}
