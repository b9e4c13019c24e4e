# bash completion for quor-rename                          -*- shell-script -*-

# KEY=VALUE of -o: the keys of the settings file, then the values; $1 is
# what stands before KEY in the word being completed. Where "=" breaks
# words, as it does by default, bash replaces only what follows the last
# "=", so the replies leave out what stands before it.
_quor_rename_option() {
    local before=$1 text=$2 key=
    local keys="KakkoHanToZen WaSpaceKakko WaKakko DeleteAfterKakko DeleteKakko AlnumZenToHan Companions LowerExt IgnoreCase WithDir WithExt"
    [[ $text == *=* ]] && key=${text%%=*}=
    if [[ $COMP_WORDBREAKS == *=* ]]; then
        before=
        [[ -n $key ]] && key=
    fi
    if [[ $text == *=* ]]; then
        COMPREPLY=($(compgen -P "$before$key" -W "1 0 true false" -- "${text#*=}"))
    else
        COMPREPLY=($(compgen -P "$before" -S = -W "$keys" -- "$text"))
        compopt -o nospace 2>/dev/null
    fi
}

_quor_rename() {
    local cur prev words cword
    _init_completion -n = || return

    case $prev in
        --settings)
            _filedir ini
            return
            ;;
        -o | --option)
            _quor_rename_option "" "$cur"
            return
            ;;
        -r | --replace | -e | --regex)
            return  # OLD and NEW, PATTERN and REPLACEMENT are free text
            ;;
        --path-env)
            COMPREPLY=($(compgen -e -- "$cur"))
            return
            ;;
        --settle | --poll)
            return  # SECONDS
            ;;
        --undo)
            # The run IDs the history holds, newest first.
            local history=${XDG_STATE_HOME:-$HOME/.local/state}/quor-renamer/history
            local ids
            ids=$(command ls -1r -- "$history" 2>/dev/null | sed -n 's/\.log$//p')
            COMPREPLY=($(compgen -W "$ids" -- "$cur"))
            return
            ;;
    esac
    # The second text of a pair is free text too.
    if ((cword >= 3)) && [[ ${words[cword - 2]} == @(-r|--replace|-e|--regex) ]]; then
        return
    fi

    if [[ $cur == --option=* ]]; then
        _quor_rename_option --option= "${cur#--option=}"
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--settings --defaults -o --option -r --replace -e --regex -n --dry-run -q --quiet
            -d --directory --path-env --undo --history --list --with-dir --with-ext --watch --settle --poll
            -h --help --version" -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _quor_rename quor-rename

# ex: filetype=sh
