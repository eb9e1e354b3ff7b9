#!/usr/bin/python3
"""Makes the shape pictures of the engine tests (run in this folder)."""
from PIL import Image, ImageDraw

# A dark triangle on white, no alpha: decided by its colour alone.
im = Image.new("RGB", (120, 90), (255, 255, 255))
ImageDraw.Draw(im).polygon([(10, 80), (60, 5), (110, 80)], fill=(20, 20, 20))
im.save("triangle_rgb.png")

# Transparent ground, a 40 x 40 black square, and an opaque dark red square:
# both are clearly visible, so both are inside.
im = Image.new("RGBA", (100, 100), (255, 255, 255, 0))
d = ImageDraw.Draw(im)
d.rectangle([20, 30, 59, 69], fill=(0, 0, 0, 255))
d.rectangle([70, 10, 89, 29], fill=(200, 0, 0, 255))
im.save("square_rgba.png")

# "Text" on a transparent ground with wide empty margins: content spans
# columns 40..219 and rows 30..89.
im = Image.new("RGBA", (300, 120), (0, 0, 0, 0))
d = ImageDraw.Draw(im)
d.rectangle([40, 30, 79, 89], fill=(0, 0, 0, 255))
d.rectangle([100, 30, 119, 89], fill=(0, 0, 0, 255))
d.rectangle([140, 50, 219, 69], fill=(0, 0, 0, 255))
im.save("text_shape.png")

# A light picture without any inside pixel.
Image.new("RGB", (40, 30), (240, 240, 240)).save("empty_light.png")
