#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora under tests/fuzz/corpus/<target>/: a few small,
hand-made inputs per target that reach its main paths. Run it again after changing a target's
input format; libFuzzer grows its working corpus elsewhere (see run.sh)."""
import ctypes
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULTS = [1, 1, 1, 1, 1e-6, 1e-6, 1e-6, 1e-6, 80, 370, 1700, 8000, 0, 0, 0, 0,
            0, 0, 1, 2, 1, 1.1, 1, 1, 0.2, 0, 64.34294481903252, 1, 0.5]


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def chunk(values):
    return b"".join(struct.pack("<d", v) for v in values)


def state_seeds():
    write("state", "defaults", bytes([4]) + chunk(DEFAULTS))  # start position 0
    big = list(DEFAULTS)
    big[23], big[24], big[5], big[18] = 16, 6, 24, 4  # the largest sizes, a loud band
    write("state", "largest", bytes([0x84]) + chunk(big))  # mono
    odd = list(DEFAULTS)
    odd[8], odd[25], odd[12] = 5, -6, 1e300  # out of range, limiter on
    write("state", "clamped", bytes([4]) + chunk(odd))
    write("state", "not_numbers", bytes([4]) + chunk([math.nan, math.inf, -math.inf] * 10)[:232])
    write("state", "short", bytes([4]) + chunk(DEFAULTS)[:100])
    write("state", "offset", bytes([7]) + b"\xff\xfe\xfd" + chunk(DEFAULTS) + b"tail")


def prefs_seeds():
    write("prefs", "written", "Quillmar Prefs 1.2\nInterface size 1\nPreset path \nResolution 1\n"
          "Delay 0.2\nLimiter 0\nColour scheme 2\nColour gain 1\nColour gamma 1.1\n"
          "Vertical range 64.3429\n")
    write("prefs", "old_version", "Quillmar Prefs 1\nColour scheme 0\nResolution 100\n"
          "Vertical range 1\nInterface size 7\n")
    write("prefs", "unordered", "Colour gain 12.5\nSomething else\n\nDelay 6\nLimiter -6\n"
          "Colour wheel 3\nPreset path /home/someone/presets\nColour gamma nan\nDelay\n")
    write("prefs", "long_line", "Preset path " + "p" * 2100 + "\nResolution 16\n")
    write("prefs", "no_newline", "Limiter 60")


def wav(fmt_tag, channels, rate, bits, frames, extra=b"", data_size=None, block_align=None):
    block_align = block_align or channels * bits // 8
    fmt = struct.pack("<HHIIHH", fmt_tag, channels, rate, rate * block_align, block_align, bits)
    if fmt_tag == 0xFFFE:  # WAVE_FORMAT_EXTENSIBLE with the PCM subformat
        fmt += struct.pack("<HHI", 22, bits, 3) + struct.pack("<IHH", 1, 0, 0x10) + \
            b"\x80\x00\x00\xaa\x00\x38\x9b\x71"
    samples = bytes((i * 37) & 0xFF for i in range(frames * block_align))
    body = b"fmt " + struct.pack("<I", len(fmt)) + fmt + extra
    body += b"data" + struct.pack("<I", len(samples) if data_size is None else data_size) + samples
    return b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WAVE" + body


def sndfile(path, fmt, channels, rate, frames):
    lib = ctypes.CDLL("libsndfile.so.1")

    class Info(ctypes.Structure):
        _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                    ("channels", ctypes.c_int), ("format", ctypes.c_int),
                    ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]
    info = Info(0, rate, channels, fmt, 0, 0)
    lib.sf_open.restype = ctypes.c_void_p
    f = lib.sf_open(path.encode(), 0x20, ctypes.byref(info))
    assert f, path
    data = (ctypes.c_float * (frames * channels))(
        *[0.5 * math.sin(0.05 * i) for i in range(frames * channels)])
    lib.sf_writef_float(ctypes.c_void_p(f), data, ctypes.c_int64(frames))
    lib.sf_close(ctypes.c_void_p(f))
    with open(path, "rb") as fh:
        out = fh.read()
    os.remove(path)
    return out


def audio_seeds():
    write("audio_file", "pcm16_mono.wav", wav(1, 1, 44100, 16, 64))
    write("audio_file", "float_stereo.wav", wav(3, 2, 48000, 32, 32))
    write("audio_file", "pcm24.wav", wav(1, 2, 96000, 24, 20))
    write("audio_file", "extensible.wav", wav(0xFFFE, 2, 44100, 16, 20))
    # A LIST chunk of odd size with its pad byte, before the audio.
    write("audio_file", "odd_chunk.wav", wav(1, 1, 44100, 16, 16, extra=b"LIST" +
          struct.pack("<I", 5) + b"INFOx\x00"))
    write("audio_file", "unknown_length.wav", wav(1, 1, 22050, 16, 16, data_size=0xFFFFFFFF))
    write("audio_file", "cut.wav", wav(1, 2, 44100, 16, 40, data_size=100000))
    write("audio_file", "three_channels.wav", wav(1, 3, 44100, 16, 8))
    write("audio_file", "sine.flac", sndfile("/tmp/quillmar-seed.flac", 0x170002, 1, 44100, 300))
    write("audio_file", "sine.aiff", sndfile("/tmp/quillmar-seed.aiff", 0x020002, 2, 44100, 40))


def args_seeds():
    write("args", "render", "in.wav\0out.wav\0--set\0Band B gain=-6\0--set\x0013=24\0--block\0512"
          "\0--compensate\0--format\0pcm24")
    write("args", "options", "--automate\0auto.txt\0--state\0s.bin\0--save-state\0t.bin\0in.wav"
          "\0out.wav\0--no-progress\0--set\0Hor. Position=1e-3")
    write("args", "bad", "in.wav\0--block\0-5\0--set\0=3\0--set\0Band Q=1\0--format\0mp3")
    write("args", "automation", "# changes\n1.0 Overall Gain=-6\n44100s 5=3  # band B\n"
          "1.5 Band D gain=nan\n2e-3 Limiter=1e400\n")
    write("args", "automation_order", "0.5 17=-6\n22050s 17=0\n\n   \t\n0.25 Resolution=16\n")


def events_seeds():
    def process(frames, seed):
        return bytes([8]) + struct.pack("<H", frames) + bytes([seed])

    def param(index, value):
        return bytes([2, index]) + struct.pack("<d", value)

    write("host_events", "steady", process(600, 0) * 4)
    write("host_events", "rates", bytes([0, 1]) + process(1000, 1) + bytes([0, 7]) +
          process(300, 4) + bytes([0, 250]) + struct.pack("<d", 1e-300) + process(128, 2))
    write("host_events", "params", param(23, 16) + param(24, 6) + process(4096, 0) +
          param(5, math.nan) + param(17, math.inf) + param(25, -6) + process(2048, 4))
    write("host_events", "frame", bytes([1, 3]) + process(5000, 0) + bytes([5, 7, 6]) +
          process(200, 1) + bytes([6, 5, 2, 3, 17, 200, 7, 4]) + process(700, 5))


def lv2_seeds():
    def run(frames):
        return bytes([6]) + struct.pack("<H", frames)

    def control(port, table_index):
        return bytes([0, port, table_index])

    chunk_bytes = chunk(DEFAULTS[:5] + [12.0] + DEFAULTS[6:])
    restore = bytes([2, 1]) + struct.pack("<H", len(chunk_bytes)) + chunk_bytes
    # setup: bit 0 mono, bit 1 urid:map, bit 2 no options, high bits the maximum block
    write("lv2", "stereo", bytes([0x32, 1]) + run(512) + control(5, 4) + run(1000) + bytes([3]) +
          restore + run(4096))
    write("lv2", "mono_bare", bytes([0x05, 250]) + struct.pack("<d", 96000.5) + run(300) +
          control(23, 4) + control(24, 9) + run(8000) + bytes([4, 5, 7, 1]) + run(64))
    write("lv2", "bad_state", bytes([0x02, 0]) + bytes([2, 3, 8, 0]) + b"12345678" + run(256) +
          bytes([2, 2, 100, 0]) + bytes(100) + run(256))


def au_seeds():
    def render(frames, shape=2):
        return bytes([7]) + struct.pack("<H", frames) + bytes([shape]) + bytes([0, 0, 1, 0])

    def set_prop(index, data, extra=b""):
        return bytes([3, index, 0, 0]) + struct.pack("<H", len(data)) + data + extra + bytes([1])

    write("au", "render", bytes([6, 1]) + render(512) + render(4096) + bytes([9, 0, 0]) + render(100))
    # a new rate and block size, then a render callback feeding the input
    write("au", "formats", set_prop(2, struct.pack("<d", 96000)) +
          set_prop(14, struct.pack("<I", 1024)) + bytes([6, 1]) +
          set_prop(23, b"", bytes([2])) + render(1024))
    # the unit's own ClassInfo with its data replaced by 232 other bytes
    state = chunk(DEFAULTS[:23] + [16.0] + DEFAULTS[24:])
    write("au", "class_info", bytes([3, 0, 0, 0, 0, 0, 1, 0, 5, 1, 3]) +
          struct.pack("<H", len(state)) + state + bytes([1]) + render(512))
    # parameters, including a value that is not a number
    write("au", "parameters", bytes([5, 5, 0, 0, 1, 0, 0, 0x40, 0xc1]) +
          bytes([5, 8, 0, 0, 1, 0, 0, 0xc0, 0x7f]) + bytes([5, 8, 0, 0, 0]) + render(256))


if __name__ == "__main__":
    state_seeds()
    prefs_seeds()
    audio_seeds()
    args_seeds()
    events_seeds()
    lv2_seeds()
    au_seeds()
