#!/usr/bin/env bash
# pytagoras.exe under wine: the time from starting the program to its first paint on the screen (the navy
# triangle seen on the X display), on a private Xvfb display and wine prefix made for windows
# (scripts/wine-gui.sh). One cold start (no wine server running), then warm starts with the wine server
# kept running, as a user's second start would be. Build the windows preset first.
# Usage: bench/windows-first-paint.sh [warm runs, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
exe="$PWD/build/windows/win32/pytagoras.exe"
[ -f "$exe" ] || { echo "windows-first-paint: build the windows preset first (cmake --build --preset windows)" >&2; exit 1; }

source scripts/wine-gui.sh
gui_session
mkdir -p "$work/app"

# Starts the program and polls one column of the screen through the middle of the triangle's leg X until a
# navy pixel shows; prints the milliseconds, then ends the program.
measure() {
    gui_env /usr/bin/python3 - "$exe" "$work/app" <<'PY'
import ctypes, subprocess, sys, time
exe, folder = sys.argv[1], sys.argv[2]
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                          ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
class XImage(ctypes.Structure):  # the leading fields of Xlib's XImage
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]
display = x11.XOpenDisplay(None)
root = x11.XDefaultRootWindow(display)
# The window is centred on the 1280 x 1024 screen: its client area starts 4 pixels in, so leg X
# (client x 250 to 450) spans screen x 419 to 619 whatever the caption's height.
column, height = (1280 - 950) // 2 + 4 + 350, 1024
start = time.monotonic()
program = subprocess.Popen(["/usr/lib/wine/wine64", exe], cwd=folder)
elapsed = None
while time.monotonic() - start < 30:
    image = x11.XGetImage(display, root, column, 0, 1, height, 0xFFFFFFFF, 2)
    if image:
        info = ctypes.cast(image, ctypes.POINTER(XImage)).contents
        pixels = ctypes.string_at(info.data, info.bytes_per_line * info.height)
        x11.XFree(info.data)
        x11.XFree(image)
        if any(pixels[i:i + 3] == b"\x80\x00\x00" for i in range(0, len(pixels), info.bytes_per_line)):
            elapsed = time.monotonic() - start
            break
    time.sleep(0.002)
program.terminate()
program.wait()
if elapsed is None:
    sys.exit("windows-first-paint: no paint within 30 s")
print(round(elapsed * 1000))
PY
}

gui_env /usr/lib/wine/wineserver -k 2>/dev/null || true
cold=$(measure)
gui_env /usr/lib/wine/wineserver -w
gui_env /usr/lib/wine/wineserver -p # kept running between the warm starts
measure >/dev/null                  # the first start after a cold one still loads the program's libraries
warm=()
for _ in $(seq "$runs"); do
    warm+=("$(measure)")
    sleep 0.3
done
sorted=$(printf '%s\n' "${warm[@]}" | sort -n)
median=$(sed -n "$(((runs + 1) / 2))p" <<<"$sorted")
echo "windows-first-paint: cold start $cold ms; warm starts ($runs): median $median ms," \
    "min $(head -n1 <<<"$sorted") ms, max $(tail -n1 <<<"$sorted") ms"
