#!/usr/bin/env python3
"""Prints the mean brightness (0 black .. 1 white) of an X11 window's pixels, read back from
the X server, sampled on a grid.

Usage: window_brightness.py <window id>
"""
import ctypes
import sys

ALL_PLANES = ~0 & 0xFFFFFFFFFFFFFFFF
Z_PIXMAP = 2


class WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("pad", ctypes.c_char * 256)]


def main():
    window = int(sys.argv[1], 0)
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                         ctypes.POINTER(WindowAttributes)]
    x11.XGetImage.restype = ctypes.c_void_p
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XGetPixel.restype = ctypes.c_ulong
    x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    x11.XDestroyImage = None  # a macro in Xlib; the process exits right after
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("window_brightness: cannot open the display")
    attributes = WindowAttributes()
    if not x11.XGetWindowAttributes(display, window, ctypes.byref(attributes)):
        sys.exit("window_brightness: no such window")
    width, height = attributes.width, attributes.height
    image = x11.XGetImage(display, window, 0, 0, width, height, ALL_PLANES, Z_PIXMAP)
    if not image:
        sys.exit("window_brightness: cannot read the window's pixels")
    total = 0.0
    count = 0
    for y in range(0, height, 8):
        for x in range(0, width, 8):
            pixel = x11.XGetPixel(image, x, y)  # a 24-bit TrueColor visual: 0xRRGGBB
            r, g, b = (pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF
            total += (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255
            count += 1
    x11.XCloseDisplay(display)
    print(f"{total / count:.3f}")


if __name__ == "__main__":
    main()
