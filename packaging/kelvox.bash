# bash completion for kelvox(1): commands, then each command's options.
_kelvox() {
  local cur prev words cword split
  # -s: "--name=value" completes its value like "--name value".
  _init_completion -s || return

  # Each command's options, one line per command; every command takes --help.
  local -A command_options=(
    [encrypt]="--configfile --unattended --quiet --help"
    [decrypt]="--type --store --unattended --passphrase-file --output --force --help"
    [get]="--type --store --key --no-newline --unattended --passphrase-file --help"
    [set]="--type --store --key --target --user --value-from --unattended --passphrase-file --quiet --help"
    [edit]="--type --store --unattended --passphrase-file --quiet --help"
    [list]="--type --store --unattended --passphrase-file --json --help"
    [verify]="--type --store --unattended --passphrase-file --json --help"
    [remove]="--type --store --key --target --unattended --passphrase-file --quiet --help"
    [rekey]="--type --store --unattended --passphrase-file --to-attended --to-unattended --help"
    [hostkey]="--store --json --protection --output --input --force --quiet --help"
    [import]="--input --identity --unattended --quiet --help"
    [export]="--type --store --recipient --recipients-file --armor --output --force --unattended --passphrase-file --help"
  )
  # Options that exclude each other: once one is given, the other is not offered.
  local -A excludes=(
    [--type]="--store" [--store]="--type"
    [--key]="--target --user" [--target]="--key"
    [--to-attended]="--to-unattended" [--to-unattended]="--to-attended"
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
    mapfile -t COMPREPLY < <(compgen -W "status seal rotate retire recipient backup restore" -- "$cur")
    return
  fi

  # The value of an option that takes one.
  case $prev in
    --protection)
      mapfile -t COMPREPLY < <(compgen -W "file tpm2 dpapi" -- "$cur")
      return
      ;;
    --configfile | --store | --output | --input | --passphrase-file | --value-from)
      _filedir
      return
      ;;
    --type)
      mapfile -t COMPREPLY < <(compgen -W "settings credentials" -- "$cur")
      return
      ;;
    --key | --target | --user)
      return
      ;;
  esac
  "$split" && return

  local command=${words[1]}
  [[ -n ${command_options[$command]+set} ]] || return
  # Options not given yet, nor excluded by one given.
  local given=" ${words[*]:2:cword-2} " option excluded offered=()
  for option in ${command_options[$command]}; do
    excluded=false
    for word in ${words[*]:2:cword-2}; do
      [[ " ${excludes[$word]} " == *" $option "* ]] && excluded=true
    done
    # --store repeats for hostkey alone.
    [[ $option == --store && $command == hostkey ]] && given=${given// --store / }
    [[ $given == *" $option "* ]] || $excluded || offered+=("$option")
  done
  mapfile -t COMPREPLY < <(compgen -W "${offered[*]}" -- "$cur")
} &&
  complete -F _kelvox kelvox
