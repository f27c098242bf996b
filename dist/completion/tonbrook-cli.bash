# bash completion for tonbrook-cli                               -*- shell-script -*-

_tonbrook_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        -b | --bitrate)
            COMPREPLY=($(compgen -W '320 256 192 128 v0 v2' -- "$cur"))
            return
            ;;
        -r | --sample-rate)
            COMPREPLY=($(compgen -W 'auto 44100 48000 32000' -- "$cur"))
            return
            ;;
        -c | --channels)
            COMPREPLY=($(compgen -W 'auto stereo mono' -- "$cur"))
            return
            ;;
        --threads | --shard)
            COMPREPLY=($(compgen -W 'auto' -- "$cur"))
            return
            ;;
        -o | --output-dir)
            _filedir -d
            return
            ;;
        -g | --gain | --loudness | --start | --end | --fade-in | --fade-out | -t | --track | \
            --title | --artist | --album | --year | --genre | --comment | -j | --jobs | \
            --shard-count)
            # A number or a text of the user's own.
            return
            ;;
        -h | --help | --help-all | -v | --version)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-o --output-dir -b --bitrate -r --sample-rate -c --channels
            -n --normalize -g --gain --loudness --limiter --replaygain --start --end --fade-in
            --fade-out --no-cover-art -t --track --title --artist --album --year --genre
            --comment -j --jobs --threads --shard --shard-count --overwrite --inspect --json
            -q --quiet -h --help --help-all -v --version' -- "$cur"))
        return
    fi

    # The video files the queue takes (any case), and folders to search.
    _filedir '@(mov|mp4|m4v|mkv|avi|webm|ts|flv|wmv|mpg|mpeg|3gp|ogv)'
} &&
    complete -F _tonbrook_cli tonbrook-cli

# ex: filetype=sh
