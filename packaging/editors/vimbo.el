;;; vimbo.el --- wrap include lines in their headers' guards  -*- lexical-binding: t -*-

;; The buffer goes to vimbo on standard input as the file it visits (its
;; directory, its .vimbo.toml); the text comes back whole and replaces the
;; buffer's, or the buffer stays as it was when vimbo fails.
;;   M-x vimbo-buffer         the buffer, now
;;   (add-hook 'c-mode-common-hook #'vimbo-on-save-mode)   on every save

;;; Code:

(defgroup vimbo nil "External include guards." :group 'tools)

(defcustom vimbo-program "vimbo"
  "The vimbo command."
  :type 'string)

;;;###autoload
(defun vimbo-buffer ()
  "Wrap the include lines of the buffer in their headers' guards."
  (interactive)
  (unless buffer-file-name (user-error "vimbo: the buffer visits no file"))
  (let ((out (generate-new-buffer " *vimbo*"))
        (errors (make-temp-file "vimbo")))
    (unwind-protect
        (let* ((coding-system-for-read 'no-conversion)
               (coding-system-for-write 'no-conversion)
               (status (call-process-region (point-min) (point-max) vimbo-program nil
                                            (list out errors) nil
                                            "--assume-filename" buffer-file-name "-")))
          (if (not (eq status 0))
              (message "vimbo: %s" (with-temp-buffer
                                     (insert-file-contents errors)
                                     (string-trim (buffer-string))))
            (replace-buffer-contents out)))
      (kill-buffer out)
      (delete-file errors))))

;;;###autoload
(define-minor-mode vimbo-on-save-mode
  "Run `vimbo-buffer' before each save."
  :lighter " vimbo"
  (if vimbo-on-save-mode
      (add-hook 'before-save-hook #'vimbo-buffer nil t)
    (remove-hook 'before-save-hook #'vimbo-buffer t)))

(provide 'vimbo)
;;; vimbo.el ends here
