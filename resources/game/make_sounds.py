#!/usr/bin/python3
"""Writes Gravix's six sounds into wav/: short synthesised tones, 16-bit mono PCM at 22050 Hz.

Run it again after changing a sound; the output is the same every time (no randomness).
    /usr/bin/python3 resources/game/make_sounds.py
"""
import math
import os
import struct
import wave

RATE = 22050
HERE = os.path.dirname(os.path.abspath(__file__))


def tone(freq_from, freq_to, seconds, volume=0.5, shape="sine", attack=0.004, release=0.6):
    """One note gliding from freq_from to freq_to, with a short attack and an exponential-ish release."""
    n = int(RATE * seconds)
    out = []
    phase = 0.0
    for i in range(n):
        t = i / n
        freq = freq_from + (freq_to - freq_from) * t
        phase += 2 * math.pi * freq / RATE
        if shape == "square":
            v = 1.0 if math.sin(phase) >= 0 else -1.0
            v *= 0.6
        elif shape == "triangle":
            v = 2 / math.pi * math.asin(math.sin(phase))
        else:
            v = math.sin(phase)
        env = min(1.0, (i / RATE) / attack) if attack > 0 else 1.0
        if t > 1 - release:
            env *= max(0.0, (1 - t) / release) ** 2
        out.append(v * env * volume)
    return out


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def write(name, samples):
    path = os.path.join(HERE, "wav", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32000)) for s in samples))


def main():
    # 1: a piece turns - a quick rising blip
    write("gravix3.wav", tone(660, 990, 0.07, 0.4, "triangle"))
    # 2: a piece moves sideways - a short low tick
    write("gravix6.wav", tone(440, 400, 0.04, 0.35, "triangle", release=0.8))
    # 3: a piece lands - a falling thud
    write("gravix4.wav", tone(220, 90, 0.12, 0.6, "sine", release=0.8))
    # 4: four rows at once - a rising arpeggio
    notes = [523.25, 659.25, 783.99, 1046.5]
    write("gravix7.wav", sum((tone(f, f, 0.09, 0.4, "square", release=0.3) for f in notes), []) +
          tone(1046.5, 1046.5, 0.2, 0.4, "square"))
    # 5: game over - a slow descending line
    notes = [392.0, 349.23, 311.13, 261.63]
    write("gravix8.wav", sum((tone(f, f * 0.98, 0.16, 0.45, "triangle", release=0.25) for f in notes), []) +
          tone(261.63, 196.0, 0.35, 0.45, "triangle"))
    # 6: one to three rows - a two-note chime
    write("gravix5.wav", tone(783.99, 783.99, 0.08, 0.4, "sine", release=0.3) + silence(0.01) +
          tone(1174.66, 1174.66, 0.14, 0.4, "sine"))


if __name__ == "__main__":
    main()
