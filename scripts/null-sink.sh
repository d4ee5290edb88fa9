# Sourced by the test command and the preview benchmark: starts a private PulseAudio server with
# a null sink in the folder given (its own XDG_RUNTIME_DIR and HOME; as root it runs in user mode
# and says so), exports PULSE_SERVER for it and sets null_sink_pid. The caller stops it.
start_null_sink() {
  local dir=$1
  chmod 700 "$dir"
  XDG_RUNTIME_DIR=$dir HOME=$dir pulseaudio -n --load=module-null-sink \
    --load=module-native-protocol-unix --exit-idle-time=-1 --daemonize=no \
    --log-level=error >"$dir/log" 2>&1 &
  null_sink_pid=$!
  export PULSE_SERVER=unix:$dir/pulse/native
  for _ in $(seq 100); do
    [ -S "$dir/pulse/native" ] && return 0
    sleep 0.1
  done
  cat "$dir/log" >&2
  echo "pulseaudio did not start" >&2
}
