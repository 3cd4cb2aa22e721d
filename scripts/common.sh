# Shared by the scripts: where things live.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${VESKO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vesko-nsz}
zstd_version=1.5.4+dfsg2-5
zstd_src=$cache/zstd-$zstd_version
zstd_mingw=$cache/zstd-$zstd_version-mingw
build=${VESKO_BUILD:-$root/build}

# Seconds since the script started, for the timing lines.
stamp() { echo "[$(( $(date +%s) - ${start_time:-$(date +%s)} ))s] $*"; }
