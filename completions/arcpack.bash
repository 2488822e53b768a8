# Bash completion for arcpack: its options, the archive (files and
# folders) and the folder to pack. Installed as
# share/bash-completion/completions/arcpack; to try it without installing:
#   source completions/arcpack.bash

_arcpack() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()

  case $previous in
    # A library name or base path is free text.
    -n | --library-name | -b | --base-path) return 0 ;;
    --check)
      compopt -o default 2>/dev/null
      return 0
      ;;
  esac

  # Options may stand anywhere before "--"; count the words that are not.
  local positional=0 options=1 i
  for ((i = 1; i < COMP_CWORD; i++)); do
    if ((!options)); then
      positional=$((positional + 1))
      continue
    fi
    case ${COMP_WORDS[i]} in
      --) options=0 ;;
      -n | --library-name | -b | --base-path) i=$((i + 1)) ;;
      --check) return 0 ;;  # checking takes the archive and nothing else
      -*) ;;
      *) positional=$((positional + 1)) ;;
    esac
  done

  if ((options)) && [[ $current == -* ]]; then
    COMPREPLY=($(compgen -W '-n --library-name -b --base-path -f --force -v --verbose --check -h --help --version' \
      -- "$current"))
    return 0
  fi
  # No replies: bash completes file or folder names itself, quoting them.
  case $positional in
    0) compopt -o default 2>/dev/null ;;   # ARCHIVE
    1) compopt -o dirnames 2>/dev/null ;;  # FOLDER
  esac
  return 0
}

complete -F _arcpack arcpack
