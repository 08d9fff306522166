#!/usr/bin/python3
"""Thumbnail quality and whole-process speed on 4096 x 4096 DXT1 and DXT5 textures of fine noise.

Two pictures, each compressed by ImageMagick with and without a full mip chain: smooth gradients, a different
one in each channel (alpha too), under per-pixel Gaussian noise of sigma 8 (a hard case for DXT1, whose blocks
hold colours on one line), and a tinted, shaded surface whose noise is mostly in luminance. For each file it prints the PSNR of
`mirelth-thumb --size 256` against the exact area average (Pillow's BOX resize of the full level-0 decode), the
same for a nearest-pixel thumbnail as a yardstick, and the median wall time of five runs of mirelth-thumb and of
Pillow (open, load, resize BOX, save) with their ratio.

usage: quality.py MIRELTH_THUMB WORK_DIR
"""
import math
import os
import statistics
import subprocess
import sys
import time

from PIL import Image, ImageChops, ImageStat

EDGE = 4096
SIZE = 256
CONVERT = "/usr/bin/convert-im6.q16"  # ImageMagick itself (a PATH entry may be something else)


def noise_picture(path):
    """Smooth gradients, a different one in each channel, under fine Gaussian noise, one noise field a channel."""
    gradients = [
        Image.linear_gradient("L").resize((EDGE, EDGE), Image.BILINEAR),
        Image.radial_gradient("L").resize((EDGE, EDGE), Image.BILINEAR),
        Image.linear_gradient("L").rotate(90).resize((EDGE, EDGE), Image.BILINEAR),
        Image.radial_gradient("L").rotate(45).resize((EDGE, EDGE), Image.BILINEAR).point(lambda v: 128 + v // 2),
    ]
    channels = []
    for gradient in gradients:
        noise = Image.effect_noise((EDGE, EDGE), 8)  # centred on 128
        channels.append(ImageChops.add(gradient, noise, scale=1.0, offset=-128))
    Image.merge("RGBA", channels).save(path)


def tinted_picture(path):
    """A tinted, shaded surface: luminance noise (sigma 8) shared by the channels, faint colour noise (sigma 3)."""
    shade = ImageChops.multiply(
        Image.radial_gradient("L").resize((EDGE, EDGE), Image.BILINEAR).point(lambda v: 64 + v * 3 // 4),
        Image.linear_gradient("L").resize((EDGE, EDGE), Image.BILINEAR).point(lambda v: 255 - v // 3))
    base = ImageChops.add(shade, Image.effect_noise((EDGE, EDGE), 8), scale=1.0, offset=-128)
    channels = [ImageChops.add(base.point(lambda v, k=k: v * k // 8), Image.effect_noise((EDGE, EDGE), 3), 1.0, -128)
                for k in (8, 7, 5)]
    channels.append(Image.new("L", (EDGE, EDGE), 255))
    Image.merge("RGBA", channels).save(path)


def compress(png, dds, compression, mips):
    subprocess.run([CONVERT, png, "-define", f"dds:compression={compression}", "-define", f"dds:mipmaps={mips}",
                    dds], check=True)


def psnr(ours, reference, bands):
    """PSNR over the given bands (RGB, or RGBA where alpha carries content)."""
    diff = ImageChops.difference(ours.convert("RGBA"), reference.convert("RGBA"))
    rms = ImageStat.Stat(diff).rms
    mse = sum(rms[b] ** 2 for b in bands) / len(bands)
    return float("inf") if mse == 0 else 10 * math.log10(255 * 255 / mse)


def median_time(command):
    times = []
    for _ in range(5):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


PILLOW = """
import sys
from PIL import Image
with Image.open(sys.argv[1]) as image:
    image.load()
    width, height = image.size
    scale = %d / max(width, height)
    image.resize((max(1, round(width * scale)), max(1, round(height * scale))), Image.BOX).save(sys.argv[2])
""" % SIZE


def main():
    thumb, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    for picture, make in (("noise", noise_picture), ("tinted", tinted_picture)):
        png = os.path.join(work, picture + ".png")
        if not os.path.exists(png):
            make(png)
        for compression, bands in (("dxt1", (0, 1, 2)), ("dxt5", (0, 1, 2, 3))):
            for mips in (0, 13):
                name = f"{picture}-{compression}-{'mips' if mips else 'nomips'}"
                dds = os.path.join(work, name + ".dds")
                if not os.path.exists(dds):
                    compress(png, dds, compression, mips)
                measure(thumb, work, name, dds, bands)


def measure(thumb, work, name, dds, bands):
    ours_png = os.path.join(work, name + ".ours.png")
    subprocess.run([thumb, "-q", "--size", str(SIZE), dds, ours_png], check=True)
    with Image.open(dds) as image:
        image.load()
        full = image.convert("RGBA")
    # DXT1 has no alpha to speak of: colour only. DXT5 carries the picture's alpha too.
    reference = full.resize((SIZE, SIZE), Image.BOX)
    nearest = full.resize((SIZE, SIZE), Image.NEAREST)
    with Image.open(ours_png) as ours:
        quality = psnr(ours, reference, bands)
    yardstick = psnr(nearest, reference, bands)
    ours_time = median_time([thumb, "-q", "--size", str(SIZE), dds, ours_png])
    pillow_time = median_time(["/usr/bin/python3", "-c", PILLOW, dds, os.path.join(work, "pillow.png")])
    print(f"{name}: PSNR {quality:.1f} dB against the area average (nearest pixel: {yardstick:.1f} dB); "
          f"mirelth-thumb {ours_time * 1000:.1f} ms, Pillow BOX {pillow_time * 1000:.1f} ms, "
          f"ratio 1/{pillow_time / ours_time:.1f}", flush=True)


if __name__ == "__main__":
    main()
