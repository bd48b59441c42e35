#!/usr/bin/env bash
# tools/setup against a stand-in apt-get and dpkg on PATH, without a network:
# a mirror mid-sync fails `update`, and `install` and `download` fail unless
# the release's own suite is named. One line per case, then a count.
set -u
setup=$(cd "$(dirname "$0")/../.." && pwd)/tools/setup
failed=0

# Writes the stand-ins into $1/bin; $1/installed lists what they installed.
make_stand_ins() {
  local bin=$1/bin
  mkdir -p "$bin" "$1/root/etc" "$1/root/usr/sbin"
  echo 'VERSION_CODENAME=hoopoe' >"$1/root/etc/os-release" # not a name the script could know
  cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
state=$(dirname "$0")/..
verb=$1; shift
suite=; [ "$1" = -t ] && { suite=$2; shift 2; }
echo "apt-get $verb suite=$suite $*" >>"$state/calls"
case $verb in
update)
  echo "E: Failed to fetch .../Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  exit 100 ;;
install|download)
  if [ "$suite" != hoopoe ] || [ -e "$state/refuse" ]; then
    echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
  [ "$verb" = download ] && { touch inetutils-inetd_2.4-2_amd64.deb; exit 0; }
  for p; do case $p in -*) ;; *) echo "$p" >>"$state/installed" ;; esac; done ;;
esac
EOF
  cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
state=$(dirname "$0")/..
{ [ -e "$state/all" ] || grep -qx -- "${!#}" "$state/installed"; } && printf 'install ok installed'
EOF
  cat >"$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
EOF
  cat >"$bin/dpkg-deb" <<'EOF'
#!/usr/bin/env bash
mkdir -p "$3/usr/sbin" && printf '#!/bin/sh\n' >"$3/usr/sbin/inetutils-inetd"
EOF
  printf '#!/bin/sh\necho 0\n' >"$bin/id"
  chmod +x "$bin"/*
  touch "$1/installed"
}

# case NAME STATUS-WANTED OUTPUT-PATTERN [refuse]
case_() {
  local name=$1 want=$2 pattern=$3 work
  work=$(mktemp -d)
  make_stand_ins "$work"
  [ "${4:-}" = refuse ] && touch "$work/refuse"
  if [ "${4:-}" = installed ]; then
    touch "$work/all"
    install -D -m 755 /dev/null "$work/root/opt/horavel-peers/inetutils-inetd"
  fi
  local output status
  output=$(PATH="$work/bin:$PATH" HORAVEL_SETUP_ROOT="$work/root" bash "$setup" 2>&1)
  status=$?
  local problem=
  [ "$status" = "$want" ] || problem="exit $status, expected $want"
  [[ $output =~ $pattern ]] || problem="$problem; output does not match /$pattern/"
  if [ "$want" = 0 ] && [ "${4:-}" != installed ]; then
    for p in wine32:i386 chrony libxml2-utils; do
      grep -qx "$p" "$work/installed" || problem="$problem; $p not installed"
    done
    [ -x "$work/root/opt/horavel-peers/inetutils-inetd" ] || problem="$problem; no inetd unpacked"
    [ -e "$work/root/usr/sbin/policy-rc.d" ] && problem="$problem; policy-rc.d left behind"
  fi
  if [ -n "$problem" ]; then
    failed=$((failed + 1))
    printf 'FAIL  %s: %s\n%s\n' "$name" "${problem#; }" "$output"
  else
    printf 'ok    %s\n' "$name"
  fi
  rm -rf "$work"
}

nl=$'\n'
case_ "mid-sync: installed preferring the suite read from os-release, said in one line" 0 \
  "^tools/setup: the package mirror looks mid-sync: apt-get update failed \(unexpected size\)[^$nl]*install preferred the release.s own suite, hoopoe; apt-get download preferred[^$nl]*\$"
case_ "refused both ways: fails, naming the packages and apt's reasons" 1 \
  'cannot install: .*wine32:i386.*apt says:.*wine32:i386 : Depends: libwine.*E: Unable to correct' refuse
case_ "nothing missing: silent, apt never run" 0 '^$' installed
[ "$failed" = 0 ]
