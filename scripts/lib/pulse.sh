# PulseAudio with a null sink, for the sound tests.  Sourced by bash scripts:
#
#   . scripts/lib/pulse.sh
#   start_pulse      # exports PULSE_RUNTIME_PATH; starts a daemon unless one answers there
#   ...              # Wine's waveOut now plays into "nullsink"; record "nullsink.monitor"
#   stop_pulse       # stops only what start_pulse started
#
# Settings (environment):
#   NEONARA_PULSE_RUNTIME  the daemon's runtime folder (its socket), default /tmp/neonara-pulse
#   NEONARA_PULSE_LOG      the daemon's log file, default $NEONARA_PULSE_RUNTIME/pulse.log
#
# start_pulse returns non-zero, with a message on stderr, when no daemon can
# be reached after starting one.

_NEONARA_PULSE_PID=""       # the daemon started here
_NEONARA_PULSE_MODULE=""    # a null sink loaded here into a daemon found running

_pulse_say() { echo "pulse: $*" >&2; }

_pulse_answers() {
  pactl info >/dev/null 2>&1
}

_pulse_has_nullsink() {
  pactl list short sinks 2>/dev/null | awk '{ print $2 }' | grep -qx nullsink
}

start_pulse() {
  export PULSE_RUNTIME_PATH=${NEONARA_PULSE_RUNTIME:-/tmp/neonara-pulse}
  # A PULSE_SERVER from the caller's session would send the sound elsewhere.
  unset PULSE_SERVER
  mkdir -p "$PULSE_RUNTIME_PATH"
  chmod 700 "$PULSE_RUNTIME_PATH"
  if _pulse_answers; then
    if ! _pulse_has_nullsink; then
      _NEONARA_PULSE_MODULE=$(pactl load-module module-null-sink sink_name=nullsink) || {
        _pulse_say "a daemon runs in $PULSE_RUNTIME_PATH but the null sink cannot be loaded"
        return 1
      }
    fi
    pactl set-default-sink nullsink >/dev/null 2>&1 || true
    return 0
  fi
  command -v pulseaudio >/dev/null || { _pulse_say "pulseaudio is missing (run scripts/bootstrap)"; return 1; }
  local log=${NEONARA_PULSE_LOG:-$PULSE_RUNTIME_PATH/pulse.log} i
  # As root the daemon must be told not to exit when idle and which modules
  # to load; -n skips the desktop's default script.
  pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=nullsink" \
    --load=module-native-protocol-unix >"$log" 2>&1 &
  _NEONARA_PULSE_PID=$!
  for ((i = 0; i < 100; i++)); do
    if _pulse_answers; then
      pactl set-default-sink nullsink >/dev/null 2>&1 || true
      return 0
    fi
    kill -0 "$_NEONARA_PULSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  _pulse_say "the daemon did not answer within 10 s: $(tail -n 5 "$log" 2>/dev/null)"
  stop_pulse
  return 1
}

stop_pulse() {
  local i
  if [[ -n "$_NEONARA_PULSE_MODULE" ]]; then
    pactl unload-module "$_NEONARA_PULSE_MODULE" >/dev/null 2>&1 || true
    _NEONARA_PULSE_MODULE=""
  fi
  [[ -n "$_NEONARA_PULSE_PID" ]] || return 0
  if kill -0 "$_NEONARA_PULSE_PID" 2>/dev/null; then
    kill -TERM "$_NEONARA_PULSE_PID" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      kill -0 "$_NEONARA_PULSE_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$_NEONARA_PULSE_PID" 2>/dev/null && kill -KILL "$_NEONARA_PULSE_PID" 2>/dev/null
  fi
  wait "$_NEONARA_PULSE_PID" 2>/dev/null || true
  _NEONARA_PULSE_PID=""
}
