# Two commands on a fresh Debian 12 machine: `make run` and `make test`.
BUILD_DIR ?= build
TEST_DIR ?= build-test
BENCH_DIR ?= build-bench
PACKAGE_DIR ?= build-package
WIN_DIR ?= build-win
ARM64_DIR ?= build-arm64
ARM64_TEST_DIR ?= build-arm64-test
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
# Every time stamp the build writes (into the package, the program's resources, the changelog, the installer) is
# this one: the last commit's date unless the caller sets another, so that the same commit gives the same bytes.
SOURCE_DATE_EPOCH ?= $(shell git -C "$(CURDIR)" log -1 --format=%ct 2>/dev/null)
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
endif
# Which artefacts `make test-reproducible` builds twice: the Debian packages (amd64, arm64), and pylvane.exe with
# its installer.
REPRODUCIBLE ?= deb deb-arm64 windows

# What building, installing and running call, essential packages included (help2man makes the manual page from
# --help); `make deps PACKAGES="..."` installs others.
PACKAGES := cmake ninja-build g++ make qt6-base-dev libgl-dev libsqlite3-dev libcap2-bin coreutils gzip unicode-data xdg-utils \
            help2man
# What the tests and the benchmarks call on top of that.
TEST_PACKAGES := libgtest-dev libgmock-dev googletest libbenchmark-dev iproute2 iputils-ping procps librsvg2-bin \
                 file locales util-linux mawk xvfb trayer systemd python3-prometheus-client dbus-daemon \
                 xdotool
# The Windows build: a MinGW-w64 cross-compiler, Wine and a private X server (windows exist under Wine only with a
# display) to run the tests, and what building Qt and SQLite from Debian's source needs beyond the host build (Qt's
# moc, rcc and uic come from qt6-base-dev; SQLite's one-file source is made on the host with gcc and tclsh, and keyed
# by the host's libsqlite3-dev).
WIN_PACKAGES := cmake ninja-build make qt6-base-dev googletest g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
                wine64 icoutils dpkg-dev xz-utils perl iproute2 util-linux unicode-data xvfb libsqlite3-dev tcl gcc
# The Windows Installer package, its signing, and its test (openssl makes the test's certificate).
# faketime holds wixl's clock at SOURCE_DATE_EPOCH, which it would otherwise write into the package.
INSTALLER_PACKAGES := wixl msitools osslsigncode openssl binutils faketime
# What the fuzzers, the packages and their tests need beyond those.
FUZZ_PACKAGES := clang libclang-rt-14-dev
PACKAGE_PACKAGES := dpkg-dev file lintian appstream debootstrap iproute2 libcap2-bin util-linux git
# The service's checks: the units' offline checks (systemd-analyze), promtool for the alerting rules, and
# systemd-nspawn to boot a Debian 12 container with the package installed.
SERVICE_PACKAGES := systemd prometheus systemd-container debootstrap
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps deps-all caches test-deps build run test bench bench-windows fuzz install uninstall screenshots windows \
        test-windows windows-installer test-windows-installer screenshots-windows package test-package \
        test-reproducible package-arm64 test-arm64 test-alerts test-service clean

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing packages:" $$missing; \
	    $(SUDO) apt-get update && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi

test-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(TEST_PACKAGES)"

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPYLVANE_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/echo-rights.sh $(BUILD_DIR)/pylvane
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
	    echo "No display found: Pylvane runs on Qt's offscreen platform; monitoring and the log work as usual."; \
	    QT_QPA_PLATFORM=offscreen ./$(BUILD_DIR)/pylvane; \
	else \
	    ./$(BUILD_DIR)/pylvane; \
	fi

test: test-deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPYLVANE_SANITIZE=ON -DPYLVANE_TESTS=ON \
	    -DPYLVANE_WERROR=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	bash scripts/run-tests.sh $(TEST_DIR) $(JOBS)

# Everything that CI's stages install, in one apt run: CI installs it first, so that no two apt runs meet once
# `make caches` runs beside the stages.
deps-all:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(TEST_PACKAGES) $(WIN_PACKAGES) $(INSTALLER_PACKAGES) \
	    $(FUZZ_PACKAGES) $(PACKAGE_PACKAGES) $(SERVICE_PACKAGES)"

# What a fresh machine builds once into ~/.cache/pylvane (Qt for Windows, 15 to 35 minutes on two cores, and as
# root the Debian roots of the arm64 build and the package tests); the targets that need it build it otherwise.
caches: deps-all
	JOBS=$(JOBS) bash scripts/warm-caches.sh

bench: test-deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPYLVANE_TESTS=OFF -DPYLVANE_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	bash bench/run.sh $(BENCH_DIR)

# Each parser of outside input fuzzed for FUZZ_SECONDS with libFuzzer; a finding fails and stays in build-fuzz/fuzz/.
fuzz: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(FUZZ_PACKAGES)"
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DPYLVANE_TESTS=OFF -DPYLVANE_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	bash tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# Installs what `make build` built, stripped, under PREFIX (default /usr/local), and records there what it put
# where and which folders it made, for `make uninstall`; a PREFIX that `make uninstall` would refuse, it refuses
# before it copies anything (scripts/install.sh). Run as root, it builds nothing (ninja's dry run only looks):
# building as root would leave files in build/ that the user can no longer change.
install:
	@exe=$(BUILD_DIR)/pylvane; \
	if [ ! -x "$$exe" ]; then \
	    echo "$$exe is missing: build it first as yourself, then install: make build && sudo make install" >&2; \
	    exit 1; \
	fi; \
	if ! ninja -C $(BUILD_DIR) -n 2>&1 | grep -q "no work to do"; then \
	    echo "$(BUILD_DIR) is out of date: build it again first as yourself: make build && sudo make install" >&2; \
	    exit 1; \
	fi
	@bash scripts/install.sh $(BUILD_DIR) "$(or $(PREFIX),/usr/local)"
	@chown -h --reference=$(BUILD_DIR) $(BUILD_DIR)/install_manifest.txt

# Removes the files the last `make install` with the same PREFIX put there, as the list it recorded there names
# them, and the folders it made once they are empty; nothing in the build folder counts (scripts/uninstall.sh).
uninstall:
	@bash scripts/uninstall.sh "$(or $(PREFIX),/usr/local)"

# Both windows rendered under Xvfb into docs/screenshots/, also the red lamp's tooltip, the settings window at
# 200 % and the lamps; needs four packages more than the build.
screenshots: build
	@$(MAKE) --no-print-directory deps PACKAGES="xvfb x11-utils imagemagick xdotool"
	bash scripts/screenshots.sh $(BUILD_DIR)

# The Debian package, built with all of Debian's hardening flags (the program may get a capability) in a build
# folder of its own, then checked by lintian, and its metainfo by AppStream's validator. CPack gives the folders in
# the package the modes it made them with, which the umask would cut down.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package: deps
	@$(MAKE) --no-print-directory deps PACKAGES="dpkg-dev file lintian appstream"
	cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPYLVANE_TESTS=OFF \
	    -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	rm -f $(PACKAGE_DIR)/pylvane_*.deb
	cd $(PACKAGE_DIR) && umask 022 && cpack
	lintian --fail-on error --info $(PACKAGE_DIR)/pylvane_*.deb
	appstreamcli validate --no-net --pedantic $(PACKAGE_DIR)/pylvane.metainfo.xml

# The units' offline checks; then installs the package on a clean Debian 12 root, runs it as an ordinary user,
# removes it. Needs root.
test-package: package
	@$(MAKE) --no-print-directory deps PACKAGES="debootstrap iproute2 libcap2-bin systemd"
	bash scripts/check-units.sh $(PACKAGE_DIR)/pylvane
	bash packaging/test-package.sh $(PACKAGE_DIR)/pylvane_*.deb

# The Prometheus alerting rules in docs/prometheus checked and unit-tested by promtool. Debian 12 ships promtool
# only in the prometheus package, whose server its installation also enables where systemd runs.
test-alerts:
	@$(MAKE) --no-print-directory deps PACKAGES="prometheus"
	bash scripts/check-alerts.sh

# Boots a Debian 12 container with systemd as its init, installs the package, runs the system service through
# its cycles, a reload, a hang the watchdog ends, and a purge. Needs root.
test-service: package
	@$(MAKE) --no-print-directory deps PACKAGES="$(SERVICE_PACKAGES)"
	bash scripts/boot-test.sh $(PACKAGE_DIR)/pylvane_*.deb

# build-arm64/pylvane_<version>_arm64.deb, for a Raspberry Pi or any arm64 board running Debian 12, cross-built
# with Debian's own packages in a Debian 12 root kept in ~/.cache/pylvane, and checked by lintian. Needs root.
package-arm64:
	@$(MAKE) --no-print-directory deps PACKAGES="debootstrap util-linux"
	JOBS=$(JOBS) bash scripts/arm64.sh package $(ARM64_DIR)

# The test suite built for arm64 and run under qemu-user, then the package's install test on an arm64 Debian 12
# root under the same emulation. Needs root, and Linux 6.7 or later for a binfmt_misc of the tests' own.
test-arm64: package-arm64
	@$(MAKE) --no-print-directory deps PACKAGES="debootstrap iproute2 libcap2-bin"
	JOBS=$(JOBS) bash scripts/arm64.sh test $(ARM64_TEST_DIR)
	bash packaging/test-package.sh --arch arm64 $(ARM64_DIR)/pylvane_*_arm64.deb

# build-win/pylvane.exe: one static GUI program for 64-bit Windows that needs no DLLs beside it. Qt for Windows
# is built from Debian's source once into ~/.cache/pylvane (15 to 35 minutes on two cores), then reused.
windows:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WIN_PACKAGES)"
	JOBS=$(JOBS) bash scripts/windows/build-qt.sh
	JOBS=$(JOBS) bash scripts/windows/build-googletest.sh
	JOBS=$(JOBS) bash scripts/windows/build-sqlite.sh
	@qt=$$(bash scripts/windows/build-qt.sh --print-prefix); \
	if [ -f $(WIN_DIR)/CMakeCache.txt ] && ! grep -qxF "Qt6_DIR:PATH=$$qt/lib/cmake/Qt6" $(WIN_DIR)/CMakeCache.txt; then \
	    echo "$(WIN_DIR) was set up with another build of Qt for Windows: setting it up afresh with $$qt"; \
	    rm -f $(WIN_DIR)/CMakeCache.txt; \
	fi
	cmake -S . -B $(WIN_DIR) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/MinGW64Toolchain.cmake \
	    -DCMAKE_BUILD_TYPE=Release -DPYLVANE_TESTS=ON -DPYLVANE_WERROR=ON \
	    -DCMAKE_PREFIX_PATH="$$(bash scripts/windows/build-qt.sh --print-prefix);$$(bash scripts/windows/build-googletest.sh --print-prefix);$$(bash scripts/windows/build-sqlite.sh --print-prefix)"
	cmake --build $(WIN_DIR) -j $(JOBS) --target pylvane
	bash scripts/windows/check-exe.sh $(WIN_DIR)/pylvane.exe

# The Windows build's tests under Wine; as root inside a network namespace of their own.
test-windows: windows
	cmake --build $(WIN_DIR) -j $(JOBS)
	JOBS=$(JOBS) bash scripts/windows/test.sh $(WIN_DIR)

# build-win/pylvane-<version>-x64.msi: installs pylvane.exe for the current user, no administrator rights needed.
# SIGN_CERT=<file.pfx> SIGN_PASS_FILE=<file> signs the program inside and the package; SIGN_TIMESTAMP=<url> adds a
# time stamp from that server.
windows-installer: windows
	@$(MAKE) --no-print-directory deps PACKAGES="$(INSTALLER_PACKAGES)"
	SIGN_CERT="$(SIGN_CERT)" SIGN_PASS_FILE="$(SIGN_PASS_FILE)" SIGN_TIMESTAMP="$(SIGN_TIMESTAMP)" \
	    bash scripts/windows/build-installer.sh $(WIN_DIR)

# The package installed, upgraded and removed under Wine in a prefix of its own, and signed with a throw-away
# certificate; as root inside a network namespace, for the installed program's run through its first cycle.
test-windows-installer: windows-installer
	cmake --build $(WIN_DIR) -j $(JOBS) --target probe_sleeper
	bash scripts/windows/test-installer.sh $(WIN_DIR)

# One whole check cycle of pylvane.exe's code under Wine; as root inside a network namespace with only loopback.
bench-windows: windows
	cmake --build $(WIN_DIR) -j $(JOBS) --target bench_cycle_windows
	bash bench/windows/run.sh $(WIN_DIR)

# The same two windows of pylvane.exe under Wine: docs/screenshots/windows-*.png.
screenshots-windows: windows
	@$(MAKE) --no-print-directory deps PACKAGES="xvfb x11-utils imagemagick xdotool fonts-wine"
	bash scripts/screenshots.sh $(WIN_DIR)

# Builds the artefacts again from a fresh clone of HEAD at another path, later and under another umask, and fails
# when one differs by a byte from this tree's own (made first with `make package` and `make windows-installer`).
# REPRODUCIBLE=deb (or deb-arm64, or windows) builds only that; the Windows side builds Qt for Windows first
# when it is not yet cached.
test-reproducible:
	@$(MAKE) --no-print-directory deps PACKAGES="git"
	JOBS=$(JOBS) bash scripts/test-reproducible.sh "$(PACKAGE_DIR)" "$(WIN_DIR)" "$(ARM64_DIR)" $(REPRODUCIBLE)

clean:
	rm -rf $(BUILD_DIR) $(TEST_DIR) $(BENCH_DIR) $(PACKAGE_DIR) $(WIN_DIR) $(FUZZ_DIR) $(ARM64_DIR) $(ARM64_TEST_DIR)
