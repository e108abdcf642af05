# bash completion for kelvox(1). The program answers from its own table of
# commands (kelvox --complete WORD...): commands, actions, options not given
# yet, an option's choices; "<file>" asks for file names.
_kelvox() {
  local cur prev words cword split
  # -s: "--name=value" completes its value like "--name value".
  _init_completion -s || return
  local -a asked=("${words[@]:1:cword-1}")
  "$split" && asked+=("$prev")
  local -a found
  mapfile -t found < <("${words[0]}" --complete "${asked[@]}" "$cur" 2>/dev/null)
  if [[ ${found[0]-} == "<file>" ]]; then
    _filedir
    return
  fi
  COMPREPLY=("${found[@]}")
} &&
  complete -F _kelvox kelvox
