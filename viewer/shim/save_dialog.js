// The save dialog: browse folders through the program, type a name, the
// filter and default extension as given, ask before overwriting.

function parseFilter(filter) {
    var parts = String(filter || '').split('|');
    var list = [];
    for (var i = 0; i + 1 < parts.length; i += 2)
        list.push({label: parts[i], patterns: parts[i + 1].split(';')});
    if (!list.length)
        list.push({label: '*.*', patterns: ['*']});
    return list;
}

function matches(name, patterns) {
    var lower = name.toLowerCase();
    return patterns.some(function(pattern) {
        pattern = pattern.trim().toLowerCase();
        if (pattern === '*' || pattern === '*.*')
            return true;
        if (pattern.indexOf('*.') === 0) {
            var ext = pattern.slice(1);
            return lower.length > ext.length && lower.slice(-ext.length) === ext;
        }
        return lower === pattern;
    });
}

function joinPath(dir, name) {
    return dir === '/' ? '/' + name : dir.replace(/\/+$/, '') + '/' + name;
}

function listFolder(path) {
    return fetch(
               BASE + 'dir?path=' + encodeURIComponent(path || ''),
               {credentials: 'same-origin', cache: 'no-store'})
        .then(function(r) {
            return r.json().then(function(body) {
                body.ok = r.ok;
                return body;
            });
        })
        .catch(function() { return {ok: false, error: 'offline'}; });
}

function saveDialog(command) {
    var filters = parseFilter(command.filter);
    var extension = command.extension || '';
    var current = '';
    var entries = [];

    var content = element('div', 'reqwiz-save-body');
    var top = element('div', 'reqwiz-row');
    top.appendChild(element('label', 'reqwiz-label', 'Guardar en:'));
    var where = element('div', 'reqwiz-path');
    top.appendChild(where);
    var up = element('button', 'reqwiz-button reqwiz-up', '\u2191');
    up.type = 'button';
    up.title = 'Subir un nivel';
    top.appendChild(up);
    content.appendChild(top);

    var list = element('div', 'reqwiz-list');
    list.setAttribute('role', 'listbox');
    list.tabIndex = 0;
    content.appendChild(list);

    var problem = element('div', 'reqwiz-problem');
    content.appendChild(problem);

    var nameRow = element('div', 'reqwiz-row');
    nameRow.appendChild(element('label', 'reqwiz-label', 'Nombre:'));
    var nameInput = element('input', 'reqwiz-name');
    nameInput.type = 'text';
    nameInput.value = command.name || '';
    nameInput.setAttribute('autocomplete', 'off');
    nameRow.appendChild(nameInput);
    content.appendChild(nameRow);

    var typeRow = element('div', 'reqwiz-row');
    typeRow.appendChild(element('label', 'reqwiz-label', 'Tipo:'));
    var typeSelect = element('select', 'reqwiz-type');
    filters.forEach(function(f, i) {
        var option = element('option', '', f.label);
        option.value = String(i);
        typeSelect.appendChild(option);
    });
    typeRow.appendChild(typeSelect);
    content.appendChild(typeRow);

    var box = null;

    function render() {
        list.textContent = '';
        var patterns = filters[Number(typeSelect.value) || 0].patterns;
        entries.forEach(function(entry) {
            if (entry.name.charAt(0) === '.')
                return;
            if (!entry.dir && !matches(entry.name, patterns))
                return;
            var item = element(
                'div', 'reqwiz-item ' + (entry.dir ? 'reqwiz-folder' : 'reqwiz-file'), entry.name);
            item.setAttribute('role', 'option');
            item.addEventListener('click', function() {
                Array.prototype.forEach.call(
                    list.querySelectorAll('.reqwiz-selected'),
                    function(el) { el.classList.remove('reqwiz-selected'); });
                item.classList.add('reqwiz-selected');
                if (!entry.dir)
                    nameInput.value = entry.name;
            });
            item.addEventListener('dblclick', function() {
                if (entry.dir)
                    browse(joinPath(current, entry.name));
                else {
                    nameInput.value = entry.name;
                    accept();
                }
            });
            list.appendChild(item);
        });
    }

    function browse(path) {
        return listFolder(path).then(function(body) {
            if (!body.ok) {
                problem.textContent = 'No se puede abrir la carpeta ' + (body.path || path) + '.';
                return false;
            }
            problem.textContent = '';
            current = body.path;
            entries = body.entries || [];
            // The folder's end matters most: the box cuts the path at its start.
            where.textContent = '';
            where.appendChild(element('span', 'reqwiz-path-text', current));
            where.title = current;
            render();
            list.scrollTop = 0;
            return true;
        });
    }

    // Resolves the typed name; answers the chosen full path, or undefined to
    // keep the dialog open.
    function accept() {
        var typed = nameInput.value.trim();
        if (!typed) {
            nameInput.focus();
            return undefined;
        }
        var full = typed.charAt(0) === '/' ? typed : joinPath(current, typed);
        if (/\/$/.test(full) || typed === '..' || typed === '.') {
            var target = typed === '..' ? (current.replace(/\/[^\/]*$/, '') || '/') : full;
            return browse(target).then(function() {
                nameInput.value = '';
                return undefined;
            });
        }
        var slash = full.lastIndexOf('/');
        var dir = slash <= 0 ? '/' : full.slice(0, slash);
        var base = full.slice(slash + 1);
        return listFolder(dir).then(function(body) {
            if (!body.ok) {
                return messageBox(
                           'Guardar como', 'La carpeta no existe:\n' + dir, 'warning',
                           [{label: ACCEPT, value: true}], true)
                    .then(function() {
                        nameInput.focus();
                        return undefined;
                    });
            }
            var same = (body.entries || []).filter(function(e) { return e.name === base; })[0];
            if (same && same.dir) {
                current = body.path;
                entries = body.entries || [];
                return browse(joinPath(body.path, base)).then(function() {
                    nameInput.value = '';
                    return undefined;
                });
            }
            // The default extension goes on a name that has none.
            if (extension && base.indexOf('.') < 0) {
                base += extension;
                same = (body.entries || []).filter(function(e) { return e.name === base; })[0];
            }
            var chosen = joinPath(body.path, base);
            // The window keeps file names in ISO-8859-1: a name with any
            // other character would reach it changed, so it is refused here.
            if (/[^\u0000-\u00ff]/.test(chosen)) {
                return messageBox(
                           'Guardar como',
                           chosen + '\ntiene un car\u00e1cter que no est\u00e1 permitido (como ' +
                               'el signo del euro): use solo letras, n\u00fameros y signos del ' +
                               'alfabeto latino.',
                           'warning', [{label: ACCEPT, value: true}], true)
                    .then(function() {
                        nameInput.focus();
                        return undefined;
                    });
            }
            if (same && same.dir) {
                return messageBox(
                           'Guardar como', chosen + '\nes una carpeta.', 'warning',
                           [{label: ACCEPT, value: true}], true)
                    .then(function() { return undefined; });
            }
            if (!same)
                return chosen;
            return messageBox(
                       'Confirmar Guardar como', base + ' ya existe.\n\u00bfDesea reemplazarlo?',
                       'question', [{label: YES, value: true}, {label: NO, value: false}], false,
                       NO_BY_DEFAULT)
                .then(function(yes) {
                    if (yes)
                        return chosen;
                    nameInput.focus();
                    return undefined;
                });
        });
    }

    up.addEventListener('click', function() { browse(current.replace(/\/[^\/]*$/, '') || '/'); });
    typeSelect.addEventListener('change', render);
    nameInput.addEventListener('keydown', function(e) {
        if (e.key === 'Enter') {
            e.preventDefault();
            if (box)
                box.defaultButton.click();
        }
    });
    content.addEventListener('reqwiz-open', function(e) { box = e.detail; });

    var shown = openBox(
        'Guardar como', content,
        [{label: 'Guardar', check: accept}, {label: 'Cancelar', value: null}], null, 'reqwiz-save');
    nameInput.focus();
    browse(command.directory).then(function(ok) {
        if (!ok)
            return browse('');
    });
    return shown;
}
