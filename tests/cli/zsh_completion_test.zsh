#!/usr/bin/env zsh
# Types partial tonbrook-cli command lines into an interactive zsh, presses Tab and checks the
# words the completion offered (every compadd call is recorded).
# Usage: zsh_completion_test.zsh <folder holding _tonbrook-cli> <cases file>
zmodload zsh/zpty
functions_dir=${1:A}
cases=${2:A}
work=$(mktemp -d)
trap 'zpty -d comp 2>/dev/null; rm -rf $work' EXIT
cd $work
mkdir clips
touch clip.mp4 CLIP2.MKV clip.txt
offered=$work/offered

zpty comp zsh -f -i
zpty -w comp "PS1=''; fpath=($functions_dir \$fpath); autoload -Uz compinit; compinit -u -d $work/dump"
zpty -w comp "compadd() { local -a hits; builtin compadd -O hits \"\$@\"; print -rl -- \$hits >> $offered; builtin compadd \"\$@\"; }"

# Ready once compinit has run.
zpty -w comp "print -r -- READY > $work/ready"
for _ in {1..100}; do [[ -s $work/ready ]] && break; sleep 0.1; done

# Offers of one line, sorted and unique, on one line.
complete_line() {
  : > $offered
  # Tab, then clear the line and run a marker once the completion is done.
  zpty -w -n comp "$1"$'\t\x15'"print -r -- END >> $offered"$'\n'
  local tries=0
  until grep -qx END $offered 2>/dev/null || (( ++tries > 100 )); do sleep 0.1; done
  grep -vx -e END -e '' $offered | LC_ALL=C sort -u | paste -sd ' ' -
}

integer failed=0
while IFS='|' read -r line expected; do
  [[ $line == '#'* ]] && continue
  got=$(complete_line "$line")
  if [[ $got != $expected ]]; then
    print -r -- "FAIL: '$line' offered '$got', expected '$expected'"
    failed=1
  else
    print -r -- "ok: '$line' -> '$got'"
  fi
done < $cases
exit $failed
