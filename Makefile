# The two commands a developer needs: `make demo` and `make test`.
# Both install what is missing first (Debian packages, through apt-get).

LINUX_PACKAGES := cmake ninja-build g++ libx11-dev libgtest-dev python3 xvfb xclip xsel x11-utils
# Wine runs the Windows program; where the kernel cannot run 32-bit code, the
# tests run a 64-bit build of it under wine64 instead.
WINDOWS_PACKAGES := g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 xdotool python3-pefile
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
WERROR := $(if $(CI),-DTAVO_WERROR=ON,)
# Debian's own Python, which sees the Debian packages the tests use.
PYTHON := -DPython3_EXECUTABLE=/usr/bin/python3
WINDOWS_EXES := -DTAVO_WINDOWS_EXE=$(CURDIR)/build/windows/TAVO.EXE -DTAVO_WINDOWS_EXE64=$(CURDIR)/build/windows64/TAVO.EXE

.PHONY: deps windows-deps build windows test test-sanitize demo bench clean

define install_missing
	@missing=$$(for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(LINUX_PACKAGES))

windows-deps:
	@dpkg --print-foreign-architectures | grep -qx i386 || $(SUDO) dpkg --add-architecture i386
	$(call install_missing,$(WINDOWS_PACKAGES))

build: deps
	cmake --preset linux $(WERROR) $(PYTHON) >/dev/null
	cmake --build --preset linux

# TAVO.EXE in build/windows, and the 64-bit stand-in for tests in build/windows64.
windows: windows-deps
	cmake --preset windows $(WERROR) >/dev/null
	cmake --build --preset windows
	cmake --preset windows64 $(WERROR) >/dev/null
	cmake --build --preset windows64

test: deps windows
	cmake --preset linux $(WERROR) $(PYTHON) $(WINDOWS_EXES) >/dev/null
	cmake --build --preset linux
	ctest --preset linux
	$(if $(CI),$(MAKE) test-sanitize,)

# Unit and end-to-end tests again, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake --preset linux-sanitize $(WERROR) $(PYTHON) >/dev/null
	cmake --build --preset linux-sanitize
	ctest --preset linux-sanitize

demo: build
	bash tools/demo.sh build/linux/tavo

bench: build
	python3 bench/bench.py build/linux/tavo

clean:
	rm -rf build
