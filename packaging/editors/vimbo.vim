" vimbo for Vim: wrap the include lines of the buffer in their headers'
" guards on save, as clang-format's integration formats it. The buffer goes
" to vimbo on standard input as the file it stands for (its directory, its
" .vimbo.toml); the text comes back whole, or the buffer stays as it was
" when vimbo fails. Put this file in ~/.vim/plugin/ (or source it).
"   :Vimbo            the buffer, now
"   let g:vimbo_on_save = 1   on every save of a C or C++ file
if exists('g:loaded_vimbo')
  finish
endif
let g:loaded_vimbo = 1

function! s:Vimbo() abort
  let l:name = expand('%:p')
  if empty(l:name)
    return
  endif
  let l:view = winsaveview()
  let l:text = system(['vimbo', '--assume-filename', l:name, '-'], getline(1, '$'))
  if v:shell_error != 0
    echohl WarningMsg | echomsg 'vimbo: ' . substitute(l:text, '\n$', '', '') | echohl None
    return
  endif
  let l:lines = split(l:text, '\n', 1)
  if !empty(l:lines) && l:lines[-1] ==# ''
    call remove(l:lines, -1)
  endif
  if l:lines !=# getline(1, '$')
    silent! undojoin
    call setline(1, l:lines)
    if line('$') > len(l:lines)
      silent execute (len(l:lines) + 1) . ',$delete _'
    endif
  endif
  call winrestview(l:view)
endfunction

command! Vimbo call s:Vimbo()
augroup vimbo
  autocmd!
  autocmd BufWritePre *.c,*.cc,*.cpp,*.cxx,*.h,*.hh,*.hpp,*.hxx,*.inl,*.ipp,*.tcc,*.tpp
        \ if get(g:, 'vimbo_on_save', 0) | call s:Vimbo() | endif
augroup END
