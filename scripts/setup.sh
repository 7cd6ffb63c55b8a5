#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 packages), then configures and builds the
# debug tree in build/. Safe to run again: packages already there are not fetched twice.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake pkg-config   # compiler and build system
    qt6-base-dev qt6-base-dev-tools    # Qt 6 Widgets, DBus, Network, Test; moc, uic, rcc
    qt6-svg-dev                        # SVG status images
    qt6-qpa-plugins                    # the xcb and offscreen platforms
    libgtest-dev googletest            # unit and integration tests
    lsof                               # the port check before every start
    bash                               # commands run through a login shell
    xvfb xauth                         # a virtual display for the demo and the desktop tests
    dbus dbus-x11                      # a session bus for notifications
    python3                            # reads the login files back in tests; runs the portability checks
    clang libc++-dev                   # every source compiles against libc++, the standard library of macOS
    clang-format                       # the format check of the test command and the format target
    desktop-file-utils                 # checks the autostart entry
    libglib2.0-bin                     # gio: launches the autostart entry in tests
    strace                             # holds the uninstall tool inside its Trash move while a test signals it
    systemd                            # its environment.d generator reads the login entry back in tests
    e2fsprogs                          # chattr makes folders that even root cannot write, in tests
    mount util-linux                   # mount, unshare and setpriv: mount points and other users in the uninstall tests
    shellcheck                         # checks the uninstall tool's sandbox test script
    trayer                             # the XEmbed tray of the desktop tests
    dunst                              # the notification daemon of the desktop tests
    sway                               # a headless Wayland compositor for the Wayland case of the desktop tests
    waybar                             # its StatusNotifierItem bar, started late and restarted there
    grim                               # Wayland screenshots in that case
    qt6-wayland                        # Qt's native Wayland platform, on which the controller runs there
    xdotool                            # clicks and keys in the desktop tests
    imagemagick                        # screenshots and icon comparisons in the desktop tests
    x11-utils                          # xwininfo and xprop find the windows in the desktop tests
    librsvg2-bin                       # renders the status images the desktop tests compare with
    xdg-utils                          # xdg-open, through which Qt opens the browser
    dpkg-dev file                      # dpkg-buildflags, dpkg-shlibdeps and file for the Debian package
    lintian                            # judges the Debian package in the test command
    devscripts                         # hardening-check: every program of the package is hardened
    appstream                          # appstreamcli validates the AppStream metadata in tests
    icnsutils                          # icns2png reads the macOS bundle's icon back in tests
    python3-yaml                       # reads the macOS workflow back in tests
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset debug >/dev/null
cmake --build --preset debug -j"$(nproc)"
