// The four decoding libraries, compiled into this layer with internal linkage.
// raylib carries the same libraries with external linkage; keeping ours static
// (and renaming stb_vorbis's few external names) lets both live in one program,
// and lets the sanitizer builds instrument the copy the engine runs.
//
// Included by decoders.cpp only. They are third-party code: their warnings are
// not ours to fix.
#pragma once
#pragma GCC system_header

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <climits>

#define DRWAV_API static
#define DRWAV_PRIVATE static
#define DR_WAV_IMPLEMENTATION
#define DR_WAV_NO_STDIO
#define DR_WAV_NO_WCHAR
#include "dr_wav.h"

#define DRMP3_API static
#define DRMP3_PRIVATE static
#define DR_MP3_IMPLEMENTATION
#define DR_MP3_NO_STDIO
#include "dr_mp3.h"

#define DRFLAC_API static
#define DRFLAC_PRIVATE static
#define DR_FLAC_IMPLEMENTATION
#define DR_FLAC_NO_STDIO
#define DR_FLAC_NO_OGG
#include "dr_flac.h"

// stb_vorbis has no switch for static linkage: its external names are renamed.
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#define STB_VORBIS_NO_INTEGER_CONVERSION
#define stb_vorbis_close a3d_stb_vorbis_close
#define stb_vorbis_decode_memory a3d_stb_vorbis_decode_memory
#define stb_vorbis_get_comment a3d_stb_vorbis_get_comment
#define stb_vorbis_get_error a3d_stb_vorbis_get_error
#define stb_vorbis_get_file_offset a3d_stb_vorbis_get_file_offset
#define stb_vorbis_get_frame_float a3d_stb_vorbis_get_frame_float
#define stb_vorbis_get_info a3d_stb_vorbis_get_info
#define stb_vorbis_get_sample_offset a3d_stb_vorbis_get_sample_offset
#define stb_vorbis_get_samples_float a3d_stb_vorbis_get_samples_float
#define stb_vorbis_get_samples_float_interleaved a3d_stb_vorbis_get_samples_float_interleaved
#define stb_vorbis_open_memory a3d_stb_vorbis_open_memory
#define stb_vorbis_seek a3d_stb_vorbis_seek
#define stb_vorbis_seek_frame a3d_stb_vorbis_seek_frame
#define stb_vorbis_seek_start a3d_stb_vorbis_seek_start
#define stb_vorbis_stream_length_in_samples a3d_stb_vorbis_stream_length_in_samples
#define stb_vorbis_stream_length_in_seconds a3d_stb_vorbis_stream_length_in_seconds
// Its only floor() and pow() size a codebook from the file's counts, and cast
// the result to int: a hostile codebook makes it infinite, which no int holds
// (found by the fuzzer). Within the int range the answer is the same.
static inline double a3d_vorbis_clamp(double x) {
    return x >= -2147483648.0 && x <= 2147483647.0 ? x : x < 0 ? -2147483648.0 : 2147483647.0;
}
#define floor(x) std::floor(a3d_vorbis_clamp(x))
#define pow(x, y) a3d_vorbis_clamp(std::pow((x), (y)))
#include "stb_vorbis.c"
#undef floor
#undef pow
