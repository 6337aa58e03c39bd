# The two commands a developer needs: `make demo` and `make test`.
# Both install what is missing first (Debian packages, through apt-get).

PACKAGES := cmake ninja-build g++ libx11-dev libgtest-dev python3 xvfb xclip xsel x11-utils time
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
WERROR := $(if $(CI),-DTAVO_WERROR=ON,)

.PHONY: deps build test test-sanitize demo bench clean

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake --preset linux $(WERROR) >/dev/null
	cmake --build --preset linux

test: build
	ctest --preset linux
	$(if $(CI),$(MAKE) test-sanitize,)

# Unit and end-to-end tests again, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake --preset linux-sanitize $(WERROR) >/dev/null
	cmake --build --preset linux-sanitize
	ctest --preset linux-sanitize

demo: build
	bash tools/demo.sh build/linux/tavo

bench: build
	python3 bench/bench.py build/linux/tavo

clean:
	rm -rf build
