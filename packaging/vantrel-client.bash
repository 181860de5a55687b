# bash completion for vantrel-client. The verbs and their options are read from the
# installed client's own --help, so that they always match its version.

_vantrel_client_usage() {
    [ -n "${_vantrel_client_help:-}" ] || _vantrel_client_help="$("$1" --help 2>/dev/null)"
    printf '%s\n' "$_vantrel_client_help"
}

_vantrel_client() {
    local cur prev verb i
    COMPREPLY=()
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    local usage verbs
    usage="$(_vantrel_client_usage "${COMP_WORDS[0]}")"
    verbs="$(printf '%s\n' "$usage" | awk '$1 == "vantrel-client" && $2 !~ /^[[-]/ { print $2 }' | sort -u | tr "\n" " ")"

    verb=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case " $verbs " in *" ${COMP_WORDS[i]} "*) verb="${COMP_WORDS[i]}"; break ;; esac
    done

    case "$prev" in
        --session|--out|--pdf)
            COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
        --db)
            COMPREPLY=($(compgen -f -X '!*.@(db|sqlite|sqlite3)' -- "$cur") $(compgen -d -- "$cur"))
            compopt -o filenames 2>/dev/null; return ;;
        --format)
            COMPREPLY=($(compgen -W "text csv" -- "$cur")); return ;;
        --company|--period|--type|--buyer|--params)
            return ;;
    esac

    if [[ "$cur" == -* ]]; then
        local options
        # COMMON's options, the verb's own (from its usage lines) and --help.
        options="$(printf '%s\n' "$usage" | awk -v verb="$verb" '
            /^COMMON/ || ($1 == "vantrel-client" && ($2 == verb || (verb == "" && $2 ~ /^\[/))) {
                for (i = 1; i <= NF; i++) if (match($i, /--[a-z-]+/)) print substr($i, RSTART, RLENGTH)
            }' | sort -u | tr "\n" " ")"
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    if [ -z "$verb" ]; then
        COMPREPLY=($(compgen -W "$verbs" -- "$cur"))
        return
    fi
    case "$verb" in
        import|export)
            COMPREPLY=($(compgen -f -X '!*.@(csv|xlsx|CSV|XLSX)' -- "$cur") $(compgen -d -- "$cur"))
            compopt -o filenames 2>/dev/null ;;
        *) COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null ;;
    esac
}
complete -F _vantrel_client vantrel-client
