# bash completion for pelorin                                   -*- shell-script -*-
# The commands' options are read from their own --help, so they follow the program.

# The options COMMAND's --help names; with "values", those that take a value ("--padding POINTS").
_pelorin_options()
{
    local help
    help=$(pelorin "$1" --help 2>/dev/null) || return
    if [[ ${2-} == values ]]; then
        grep -oE -- '(^|[ ,[])--?[a-z][a-z-]* [^ -]' <<<"$help" | grep -oE -- '--?[a-z][a-z-]*'
    else
        grep -oE -- '(^|[ ,[])--?[a-z][a-z-]*' <<<"$help" | grep -oE -- '--?[a-z][a-z-]*'
    fi | sort -u
}

_pelorin()
{
    local cur prev words cword
    _init_completion || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            render | detect | format-json | upload)
                command=${words[i]}
                break
                ;;
        esac
    done

    case $command in
        "")
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--background --capture --capture-window --help --version' -- "$cur"))
            else
                [[ $cword -eq 1 ]] && COMPREPLY=($(compgen -W 'render detect format-json upload' -- "$cur"))
                _filedir
            fi
            ;;
        render | detect)
            case $prev in
                -o | --output)
                    if [[ $command == detect ]]; then _filedir -d; else _filedir; fi
                    return
                    ;;
                --browser)
                    COMPREPLY=($(compgen -W 'dark light' -- "$cur"))
                    return
                    ;;
                -*)
                    # Another option's value: nothing to offer.
                    [[ " $(_pelorin_options "$command" values | tr '\n' ' ') " == *" $prev "* ]] && return
                    ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "$(_pelorin_options "$command")" -- "$cur"))
            else
                _filedir '@(png|jpg|jpeg|tif|tiff|gif|bmp|webp)'
            fi
            ;;
        upload)
            _filedir
            ;;
        format-json)
            COMPREPLY=($(compgen -W '--help' -- "$cur"))
            ;;
    esac
} &&
    complete -F _pelorin pelorin
