# Shared by scripts/test and scripts/demo (sourced, bash): installing what the build needs, building a preset,
# private Wine prefixes, and running named stages with their timings.
# shellcheck shell=bash disable=SC2034  # its arrays are read by the scripts that source it

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export REPO_ROOT

# Debian packages of the whole build and test set: the native tools and test libraries, the MinGW-w64 cross
# compiler, Wine (64-bit only: Debian has no wine32 here), Xvfb with ImageMagick's import and the Calibri
# stand-in for the GUI tests, clang for the fuzz build (its sanitizer and libFuzzer runtimes come from
# clang_runtime_package), llvm for llvm-symbolizer, which makes sanitizer reports readable, and GNU time, which
# tells the benchmarks a process's peak memory.
DEPENDENCIES=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev
  wine wine64 g++-mingw-w64-x86-64
  xvfb imagemagick fonts-crosextra-carlito
  python3 clang llvm time
)

log() { printf '==> %s\n' "$*" >&2; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# A package counts as present only when dpkg says "install ok installed" (a removed one keeps its entry).
package_installed() {
  dpkg -s "$1" 2>/dev/null | grep -qx 'Status: install ok installed'
}

APT_UPDATED=0

# install_deps PACKAGE...: installs those of the packages that are missing, and nothing when none is. The
# package lists are refreshed once per shell, before the first install.
install_deps() {
  local missing=() p
  for p in "$@"; do
    package_installed "$p" || missing+=("$p")
  done
  if ((${#missing[@]} == 0)); then
    log "all ${#} packages present: $*"
    return 0
  fi
  log "installing: ${missing[*]}"
  local sudo=()
  if ((EUID != 0)); then
    command -v sudo >/dev/null || die "not root and no sudo: install ${missing[*]}"
    sudo=(sudo)
  fi
  if ((APT_UPDATED == 0)); then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    APT_UPDATED=1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
}

# The package with the sanitizer and libFuzzer runtimes of the installed clang (libclang-rt-14-dev for
# Debian 12's clang 14). Debian names it after clang's major version.
clang_runtime_package() {
  local major
  major="$(clang -dumpversion 2>/dev/null | cut -d. -f1)"
  [[ $major =~ ^[0-9]+$ ]] || die "cannot tell the version of clang (is it installed?)"
  printf 'libclang-rt-%s-dev\n' "$major"
}

# build_preset NAME [TARGET...]: configures and builds a CMake preset in its own build folder (build/NAME),
# all of it or only the given targets.
build_preset() {
  local preset="$1" targets=()
  shift
  (($# == 0)) || targets=(--target "$@")
  (cd "$REPO_ROOT" && cmake --preset "$preset" && cmake --build --preset "$preset" "${targets[@]}")
}

# The environment of every Wine process started from these scripts.
wine_env() {
  export WINEDEBUG=-all,err+winediag
  export WINEDLLOVERRIDES=mscoree,mshtml=
  unset DISPLAY WAYLAND_DISPLAY
}

# make_wine_prefix DIR: a fresh private prefix with the unattended-run settings. Leaves its wineserver
# stopped. DIR must be a folder of this project's (it is deleted first).
make_wine_prefix() {
  local dir="$1"
  case "$dir" in
    "$REPO_ROOT"/build/*) ;;
    *) die "refusing to make a Wine prefix outside $REPO_ROOT/build: $dir" ;;
  esac
  wine_env
  if [[ -d "$dir" ]]; then
    WINEPREFIX="$dir" wineserver -k 2>/dev/null || true
    WINEPREFIX="$dir" wineserver -w 2>/dev/null || true
    rm -rf "$dir"
  fi
  mkdir -p "$(dirname "$dir")"
  WINEPREFIX="$dir" timeout 300 wineboot -i >"$dir.boot.log" 2>&1 || die "wineboot failed, see $dir.boot.log"
  # wineboot links Desktop, Documents and the like to the Unix home folder: a script that went astray in the
  # prefix would reach the user's own files. Plain folders instead.
  local link
  while IFS= read -r -d '' link; do
    rm -f "$link" && mkdir "$link"
  done < <(find "$dir/drive_c/users" -type l -print0)
  WINEPREFIX="$dir" timeout 120 wine regedit /s \
    "$(WINEPREFIX="$dir" winepath -w "$REPO_ROOT/scripts/wine-settings.reg")" >>"$dir.boot.log" 2>&1 ||
    die "importing the Wine settings failed, see $dir.boot.log"
  WINEPREFIX="$dir" wineserver -w
}

# windows_to_unix PREFIX PATH: the Unix path of a C:\ path of a prefix.
windows_to_unix() {
  local rest="${2#[Cc]:\\}"
  printf '%s/drive_c/%s\n' "$1" "${rest//\\//}"
}

# recreate_leftovers PREFIX FILES REG: puts on a prefix's drive C the files and folders described in FILES
# (lines "folder<TAB>PATH" and "file<TAB>PATH<TAB>CONTENT", "#" comments) and imports REG, a regedit file kept
# as plain text. The prefix's wineserver is left running.
recreate_leftovers() {
  local prefix="$1" kind path content
  while IFS=$'\t' read -r kind path content; do
    case "$kind" in
      folder) mkdir -p "$(windows_to_unix "$prefix" "$path")" ;;
      file) printf '%s\n' "$content" >"$(windows_to_unix "$prefix" "$path")" ;;
      '' | '#'*) ;;
      *) die "$2: unknown kind '$kind'" ;;
    esac
  done <"$2"
  # regedit reads hex(2) and hex(7) data as UTF-16 only from a UTF-16 file.
  local utf16="$prefix/drive_c/leftovers.reg"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$3"; } >"$utf16"
  WINEPREFIX="$prefix" timeout 120 wine regedit /s 'C:\leftovers.reg' >>"$prefix.boot.log" 2>&1 ||
    die "importing $3 failed, see $prefix.boot.log"
  rm -f "$utf16"
}

# Stages: a stage NAME is the function stage_NAME (dashes become underscores). run_stages runs the given
# stages (all of STAGES when none is given) in the order of STAGES, stops at the first that fails, and prints
# how long each took and, last, the count of passed and failed stages.
STAGE_TIMES=()
STAGE_STATUS=0

# run_stage NAME: runs one stage and leaves its exit status in STAGE_STATUS. It returns 0 itself and must not
# be called as a condition ("if run_stage", "run_stage ||"): bash ignores errexit in everything that such a
# call runs, even in a subshell that sets it again, and a failing command would not end the stage.
run_stage() {
  local name="$1" fn="stage_${1//-/_}" start=$SECONDS errexit=0
  log "stage $name"
  [[ $- == *e* ]] && errexit=1
  set +e
  (set -e; "$fn")
  STAGE_STATUS=$?
  ((errexit)) && set -e
  STAGE_TIMES+=("$(printf '%-14s %5ds%s' "$name" $((SECONDS - start)) \
    "$( ((STAGE_STATUS == 0)) || echo "  FAILED ($STAGE_STATUS)")")")
  return 0
}

print_stage_times() {
  local line
  log "timings"
  for line in "${STAGE_TIMES[@]}"; do printf '    %s\n' "$line" >&2; done
}

run_stages() {
  local selected=("$@") stage wanted rc=0 passed=0 failed=0 not_run=0
  for wanted in "${selected[@]}"; do
    declare -F "stage_${wanted//-/_}" >/dev/null || die "unknown stage '$wanted' (stages: ${STAGES[*]})"
  done
  ((${#selected[@]} > 0)) || selected=("${STAGES[@]}")
  local start=$SECONDS
  for stage in "${STAGES[@]}"; do
    [[ " ${selected[*]} " == *" $stage "* ]] || continue
    if ((rc != 0)); then
      not_run=$((not_run + 1))
      continue
    fi
    run_stage "$stage"
    if ((STAGE_STATUS == 0)); then
      passed=$((passed + 1))
    else
      rc=$STAGE_STATUS
      failed=$((failed + 1))
      log "FAILED in stage $stage"
    fi
  done
  print_stage_times
  log "$( ((rc == 0)) && echo passed || echo FAILED) after $((SECONDS - start))s"
  # The closing line that CI reads: stages, not tests (each stage prints its own test counts above).
  printf 'stages: %d passed, %d failed, %d skipped\n' "$passed" "$failed" "$not_run"
  return "$rc"
}
