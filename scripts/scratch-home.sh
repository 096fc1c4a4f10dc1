# Sourced by the scripts that run the tool: a scratch folder $work, removed on exit, with HOME
# and the XDG folders inside it, so the real home folder is never touched.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config" \
       XDG_STATE_HOME="$work/home/.local/state" XDG_DOCUMENTS_DIR="$work/home/Documents" \
       XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
