# Shared steps of scripts/test and scripts/run: install what a fresh Debian 12 machine lacks,
# pick the world (real ROS 2 Humble, or Debian with the host layer in ros2_shim/), and build.
# Sourced, not executed.

set -euo pipefail

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
PRODUCT_PACKAGES=(corvan_msgs rclcpp_tarvek scrivo twist_arbiter)

# Debian's ROS tooling (colcon, ament, rosidl) lives in /usr/bin/python3; a pyenv or venv
# python earlier on PATH must not be picked up by colcon or by CMake.
export PATH="/usr/bin:/bin:/usr/sbin:/sbin:${PATH}"
PYTHON=/usr/bin/python3

log() { printf '==> %s\n' "$*" >&2; }

# Debian packages the build needs, by world.
HOST_PACKAGES=(
  build-essential cmake git pkg-config
  colcon python3-colcon-core python3-colcon-cmake python3-colcon-ros python3-colcon-bash
  python3-colcon-library-path python3-colcon-metadata python3-colcon-package-selection
  python3-colcon-parallel-executor python3-colcon-recursive-crawl python3-colcon-test-result
  python3-colcon-output
  ament-cmake ament-cmake-core ament-cmake-googletest ament-cmake-ros python3-ament-index
  python3-domain-coordinator
  libament-index-cpp-dev
  librcutils-dev librcpputils-dev
  rosidl-core rosidl-cmake rosidl-generator-c-cpp python3-rosidl
  librosidl-runtime-c-cpp-dev librosidl-typesupport-interface-dev
  librosidl-typesupport-introspection-c-cpp-dev
  libclass-loader-dev cyclonedds-dev
  libfmt-dev libyaml-cpp-dev libyaml-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  python3-yaml
  libcli11-dev
)
ROS_PACKAGES=(libfmt-dev libbenchmark-dev libcli11-dev)

ros_world() {
  # Real ROS 2 Humble: already sourced, or installed in the usual place.
  [[ "${ROS_DISTRO:-}" == "humble" ]] || [[ -f /opt/ros/humble/setup.bash ]]
}

missing_packages() {
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      printf '%s\n' "$p"
    fi
  done
}

install_dependencies() {
  local wanted=("${HOST_PACKAGES[@]}")
  ros_world && wanted=("${ROS_PACKAGES[@]}")
  command -v dpkg-query >/dev/null 2>&1 || { log "not a Debian system; skipping package installation"; return 0; }
  local missing
  missing=$(missing_packages "${wanted[@]}" | tr '\n' ' ')
  if [[ -z "${missing// /}" ]]; then
    log "all build dependencies are installed"
    return 0
  fi
  local sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  log "installing: ${missing}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  # shellcheck disable=SC2086
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${missing} >/dev/null
}

# Sets BUILD_BASE, INSTALL_BASE, LOG_BASE for a build flavour ("" or "asan").
select_flavour() {
  local flavour="${1:-}"
  local suffix=""
  [[ -n "$flavour" ]] && suffix="-${flavour}"
  BUILD_BASE="${REPO_ROOT}/build${suffix}"
  INSTALL_BASE="${REPO_ROOT}/install${suffix}"
  LOG_BASE="${REPO_ROOT}/log${suffix}"
  export COLCON_LOG_PATH="${LOG_BASE}"
}

source_ros() {
  if ros_world; then
    # setup.bash reads unset variables
    set +u
    [[ "${ROS_DISTRO:-}" == "humble" ]] || source /opt/ros/humble/setup.bash
    set -u
  fi
}

# The packages to hand to colcon: the product packages that exist and, off ROS, the host layer.
package_paths() {
  local p
  for p in "${PRODUCT_PACKAGES[@]}"; do
    [[ -f "${REPO_ROOT}/${p}/package.xml" ]] && printf '%s\n' "${REPO_ROOT}/${p}"
  done
  if ! ros_world; then
    for p in "${REPO_ROOT}"/ros2_shim/*/; do
      [[ -f "${p}package.xml" ]] && printf '%s\n' "${p%/}"
    done
  fi
  return 0
}

# build_workspace FLAVOUR [colcon build arguments...]
build_workspace() {
  local flavour="$1"; shift
  select_flavour "$flavour"
  source_ros
  local cmake_args=(-DPython3_EXECUTABLE="${PYTHON}" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  if [[ "$flavour" == "asan" ]]; then
    cmake_args+=(
      "-DCMAKE_C_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
      "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
      "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
      "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined"
      -DCMAKE_BUILD_TYPE=Debug)
  fi
  local paths
  mapfile -t paths < <(package_paths)
  log "building ${#paths[@]} packages into ${INSTALL_BASE}"
  cd "${REPO_ROOT}"
  MAKEFLAGS="${MAKEFLAGS:--j$(nproc)}" "${PYTHON}" -m colcon build \
    --paths "${paths[@]}" \
    --build-base "${BUILD_BASE}" --install-base "${INSTALL_BASE}" \
    --parallel-workers 1 \
    --event-handlers console_direct- console_cohesion- console_stderr+ console_start_end+ \
    "$@" \
    --cmake-args "${cmake_args[@]}"
}

source_install() {
  set +u
  # shellcheck disable=SC1091
  source "${INSTALL_BASE}/setup.bash"
  set -u
}
