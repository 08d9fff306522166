# Decodes DDS files with Pillow (an independent BC4/BC5/BC6H/BC7 decoder) into raw RGBA bytes, top row first:
# pillow_decode.py IN.dds OUT.raw [IN.dds OUT.raw ...]. Exit 3 when Pillow is missing.
import sys

try:
    from PIL import Image
except ImportError:
    sys.exit(3)

args = sys.argv[1:]
for source, target in zip(args[0::2], args[1::2]):
    with Image.open(source) as image:
        image.load()
        with open(target, "wb") as out:
            out.write(image.convert("RGBA").tobytes())
