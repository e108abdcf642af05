# bash completion for kelvox(1): commands, then each command's options.
_kelvox() {
  local cur prev words cword split
  # -s: "--name=value" completes its value like "--name value".
  _init_completion -s || return

  # Each command's options, one line per command.
  local -A command_options=(
    [encrypt]="--configfile --unattended --quiet"
    [decrypt]="--type --store --unattended --output --force"
    [list]="--type --store --unattended"
    [verify]="--type --store --unattended"
    [remove]="--type --store --unattended --key --quiet"
    [rekey]="--type --store --unattended --to-attended --to-unattended"
    [hostkey]="--store --json --protection --output --input --force"
  )

  if ((cword == 1)); then
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "--help --version" -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -W "${!command_options[*]}" -- "$cur")
    fi
    return
  fi

  # hostkey takes its action first.
  if [[ ${words[1]} == hostkey ]] && ((cword == 2)); then
    mapfile -t COMPREPLY < <(compgen -W "status seal rotate backup restore" -- "$cur")
    return
  fi

  # The value of an option that takes one.
  case $prev in
    --protection)
      mapfile -t COMPREPLY < <(compgen -W "file tpm2 dpapi" -- "$cur")
      return
      ;;
    --configfile | --store | --output | --input)
      _filedir
      return
      ;;
    --type)
      mapfile -t COMPREPLY < <(compgen -W "settings credentials" -- "$cur")
      return
      ;;
    --key)
      return
      ;;
  esac
  "$split" && return

  local command=${words[1]}
  [[ -n ${command_options[$command]+set} ]] || return
  # Options not given yet.
  local option offered=()
  for option in ${command_options[$command]}; do
    [[ $option != --store && " ${words[*]:2:cword-2} " == *" $option "* ]] || offered+=("$option")
  done
  mapfile -t COMPREPLY < <(compgen -W "${offered[*]}" -- "$cur")
} &&
  complete -F _kelvox kelvox
