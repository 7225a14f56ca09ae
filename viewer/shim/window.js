// The window's own marks on every page, whatever the page says: the
// program's icon, no browser menu on a right click outside the text fields
// (in a field it stays, for copy and paste), no list of earlier entries
// under a field; and the final page's band saying where the files went.

(function addIcon() {
    var link = document.createElement('link');
    link.rel = 'icon';
    link.type = 'image/svg+xml';
    link.href = BASE + 'icon.svg';
    (document.head || document.documentElement).appendChild(link);
})();

function isTextField(el) {
    if (!el || !el.tagName)
        return false;
    if (el.isContentEditable || el.tagName === 'TEXTAREA')
        return true;
    if (el.tagName !== 'INPUT')
        return false;
    return /^(text|password|search|email|tel|url|number|)$/.test(el.type || '');
}

document.addEventListener('contextmenu', function(e) {
    if (!isTextField(e.target))
        e.preventDefault();
}, true);

// The browser offers what was typed in a field before under it; here that
// list would cover the page's buttons, and the key page's fields hold a
// password. The attribute is set on the live page only.
function turnOffAutocomplete() {
    Array.prototype.forEach.call(document.querySelectorAll('form'), function(form) {
        form.setAttribute('autocomplete', 'off');
    });
    Array.prototype.forEach.call(document.querySelectorAll('input, textarea'), function(el) {
        if (isTextField(el))
            el.setAttribute('autocomplete', el.type === 'password' ? 'new-password' : 'off');
    });
}
if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', turnOffAutocomplete);
else
    turnOffAutocomplete();

// The final page's band, drawn after the page's own content in the style of
// the dialogs: each file's full path with what to do with it, and a button
// that asks the program to open their folder (the program knows the
// folders; the page names only which file).
function showResultBand(c) {
    var old = document.querySelector('.reqwiz-result');
    if (old)
        old.remove();
    var band = element('section', 'reqwiz-result');
    var title = element('div', 'reqwiz-title', 'Archivos generados');
    title.id = 'reqwiz-result-title';
    band.setAttribute('aria-labelledby', title.id);
    band.appendChild(title);
    var body = element('div', 'reqwiz-result-body');
    function fileRow(label, advice, path) {
        var row = element('div', 'reqwiz-result-file');
        var head = element('div', 'reqwiz-result-label');
        head.appendChild(element('b', '', label));
        head.appendChild(document.createTextNode(' ' + advice));
        row.appendChild(head);
        var where = element('div', 'reqwiz-result-path', path);
        row.appendChild(where);
        body.appendChild(row);
        return where;
    }
    fileRow('Requerimiento:', 'env\u00eda este archivo.', c.request)
        .classList.add('reqwiz-result-request');
    fileRow('Llave privada:',
            'gu\u00e1rdala junto con tu clave de acceso; sin ellas no podr\u00e1s usar tu ' +
                'certificado.',
            c.key)
        .classList.add('reqwiz-result-key');
    var row = element('div', 'reqwiz-buttons');
    function openButton(label, file) {
        var button = element('button', 'reqwiz-button reqwiz-result-open', label);
        button.type = 'button';
        button.addEventListener('click', function() { post('open', {file: file}); });
        row.appendChild(button);
    }
    if (c.same_folder) {
        openButton('Abrir la carpeta', 'request');
    } else {
        openButton('Abrir la carpeta del requerimiento', 'request');
        openButton('Abrir la carpeta de la llave', 'key');
    }
    band.appendChild(body);
    band.appendChild(row);
    document.body.appendChild(band);
}
