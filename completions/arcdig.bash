# Bash completion for arcdig. Completes the option letters, the archive
# (.slf files and folders), the folder after -d, and, after the archive, the
# names stored in it: one folder level at a time, quoted so that their
# backslashes reach arcdig. Installed as
# share/bash-completion/completions/arcdig; to try it without installing:
#   source completions/arcdig.bash

# Sets REPLY to WORD without the shell's quoting: quotes removed, backslash
# escapes resolved. A leading ~ is kept.
_arcdig_dequote() {
  local word=$1 out="" quote="" c i
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [[ $quote == "'" ]]; then
      [[ $c == "'" ]] && quote="" || out+=$c
    elif [[ $quote == '"' ]]; then
      if [[ $c == '"' ]]; then
        quote=""
      elif [[ $c == '\' && ${word:i+1:1} == [\"\\\$\`] ]]; then
        i=$((i + 1))
        out+=${word:i:1}
      else
        out+=$c
      fi
    elif [[ $c == "'" || $c == '"' ]]; then
      quote=$c
    elif [[ $c == '\' ]]; then
      i=$((i + 1))
      out+=${word:i:1}
    else
      out+=$c
    fi
  done
  REPLY=$out
}

# Adds the stored names of ARCHIVE that begin with TYPED (letter case
# ignored, as arcdig matches) to COMPREPLY, each up to and including the
# first backslash after TYPED, so that a large archive completes folder by
# folder. CURRENT is the word as typed, quotes included; the replies keep its
# opening quote, or else escape what the shell would take.
_arcdig_stored_names() {
  local program=$1 archive=$2 current=$3 typed
  _arcdig_dequote "$current"
  typed=$REPLY
  # A pattern with wildcards is already what the user wants.
  [[ $typed == *[*?]* ]] && return
  [[ $archive == "~/"* ]] && archive=$HOME/${archive:2}
  [[ -f $archive ]] || return
  command -v -- "$program" >/dev/null 2>&1 || program=arcdig

  local line name rest reply
  local -A seen=()
  while IFS= read -r line; do
    # "NAME   SIZE bytes": the name ends at the last three blanks.
    name=${line% bytes}
    name=${name%   *}
    rest=${name:${#typed}}
    [[ $rest == *\\* ]] && rest=${rest%%\\*}\\
    name=$typed$rest
    [[ -n ${seen[$name]-} ]] && continue
    seen[$name]=1
    case $current in
      \'* | \"*) reply=$name ;;  # inside the quote the user opened
      *) printf -v reply '%q' "$name" ;;
    esac
    COMPREPLY+=("$reply")
  done < <("$program" -l "$archive" "$typed*" 2>/dev/null)
  # A folder level: go on typing right after its backslash.
  if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *\\ ]]; then
    compopt -o nospace 2>/dev/null
  fi
  return 0
}

_arcdig() {
  local current=${COMP_WORDS[COMP_CWORD]}
  COMPREPLY=()

  # Where the word stands: option letters come first, then the archive, the
  # patterns up to -d, the folder after it, and nothing counts after that.
  local state=options archive="" i word
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case $state in
      options)
        if [[ $word != -* ]]; then
          state=patterns
          archive=$word
        fi
        ;;
      patterns) [[ $word == -d ]] && state=folder ;;
      folder) state=ignored ;;
    esac
  done

  case $state in
    options)
      if [[ $current == -* ]]; then
        COMPREPLY=($(compgen -W '-l -n -o -j -h' -- "$current"))
      else
        local path IFS=$'\n'
        _arcdig_dequote "$current"
        for path in $(compgen -f -- "$REPLY"); do
          [[ -d $path || ${path,,} == *.slf ]] && COMPREPLY+=("$path")
        done
        compopt -o filenames 2>/dev/null
      fi
      ;;
    patterns)
      _arcdig_dequote "$archive"
      archive=$REPLY
      _arcdig_dequote "${COMP_WORDS[0]}"
      _arcdig_stored_names "$REPLY" "$archive" "$current"
      [[ -n $current && "-d" == "$current"* ]] && COMPREPLY+=(-d)
      ;;
    folder)
      # No replies: bash completes folder names itself, quoting them.
      compopt -o dirnames 2>/dev/null
      ;;
  esac
  return 0
}

complete -F _arcdig arcdig
