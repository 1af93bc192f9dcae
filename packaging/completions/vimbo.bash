# bash completion for vimbo
_vimbo() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -i|-I|-p|--files-from) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --compiler) COMPREPLY=($(compgen -c -- "$cur")); return ;;
        --print-config|--config|--assume-filename) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --format) COMPREPLY=($(compgen -W 'text json sarif' -- "$cur")); return ;;
        --color) COMPREPLY=($(compgen -W 'auto always never' -- "$cur")); return ;;
        --since|--lines-since|--ext|--exclude|--pch|--max-file-size|-j|-t|-T) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-b -B -i -I -t -T -j -p -h --help --version --quiet --tree --check --diff
            --audit --strip --strip-wrong --verify --allow-line-shift --allow-unverified --keep-lines --ext
            --exclude --no-git-ignore --force-extensions --assume-filename --break-links --files-from --since --lines-since --staged --format --verbose --color
            --print-config --strict --no-strict --no-keep-lines --config --no-config --pch --max-file-size
            --compiler' -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _vimbo vimbo
