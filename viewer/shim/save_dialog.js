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
    up.setAttribute('aria-label', 'Subir un nivel');
    top.appendChild(up);
    content.appendChild(top);

    // The user's places: one button each, filled in by the first listing.
    var placesRow = element('div', 'reqwiz-places');
    placesRow.setAttribute('role', 'group');
    placesRow.setAttribute('aria-label', 'Lugares');
    content.appendChild(placesRow);
    function showPlaces(places) {
        if (placesRow.childNodes.length || !places)
            return;
        places.forEach(function(place) {
            var button = element('button', 'reqwiz-button reqwiz-place', place.label);
            button.type = 'button';
            button.title = place.path;
            button.addEventListener('click', function() { browse(place.path); });
            placesRow.appendChild(button);
        });
    }

    var list = element('div', 'reqwiz-list');
    list.setAttribute('role', 'listbox');
    list.setAttribute('aria-label', 'Carpetas y archivos');
    list.tabIndex = 0;
    content.appendChild(list);

    var problem = element('div', 'reqwiz-problem');
    content.appendChild(problem);

    var nameRow = element('div', 'reqwiz-row');
    var nameLabel = element('label', 'reqwiz-label', 'Nombre:');
    nameRow.appendChild(nameLabel);
    var nameInput = element('input', 'reqwiz-name');
    nameInput.id = 'reqwiz-save-name';
    nameLabel.htmlFor = nameInput.id;
    nameInput.type = 'text';
    nameInput.value = command.name || '';
    nameInput.setAttribute('autocomplete', 'off');
    nameRow.appendChild(nameInput);
    content.appendChild(nameRow);

    var typeRow = element('div', 'reqwiz-row');
    var typeLabel = element('label', 'reqwiz-label', 'Tipo:');
    typeRow.appendChild(typeLabel);
    var typeSelect = element('select', 'reqwiz-type');
    typeSelect.id = 'reqwiz-save-type';
    typeLabel.htmlFor = typeSelect.id;
    filters.forEach(function(f, i) {
        var option = element('option', '', f.label);
        option.value = String(i);
        typeSelect.appendChild(option);
    });
    typeRow.appendChild(typeSelect);
    content.appendChild(typeRow);

    var box = null;

    // The list's selection: one item at a time, by click, arrow keys or the
    // first letters of its name; the list keeps the focus and names the
    // selected item to assistive technology.
    var shownItems = [];
    function select(item) {
        shownItems.forEach(function(el) {
            el.classList.remove('reqwiz-selected');
            el.setAttribute('aria-selected', 'false');
        });
        if (!item) {
            list.removeAttribute('aria-activedescendant');
            return;
        }
        item.classList.add('reqwiz-selected');
        item.setAttribute('aria-selected', 'true');
        list.setAttribute('aria-activedescendant', item.id);
        item.scrollIntoView({block: 'nearest'});
        if (!item.entry.dir)
            nameInput.value = item.entry.name;
    }
    function selectedIndex() {
        for (var i = 0; i < shownItems.length; i++)
            if (shownItems[i].classList.contains('reqwiz-selected'))
                return i;
        return -1;
    }
    function openItem(item) {
        if (item.entry.dir) {
            browse(joinPath(current, item.entry.name)).then(function() { list.focus(); });
        } else {
            nameInput.value = item.entry.name;
            if (box)
                box.defaultButton.click();
        }
    }
    var typed = '';
    var typedAt = 0;
    list.addEventListener('keydown', function(e) {
        var at = selectedIndex();
        var last = shownItems.length - 1;
        var next = null;
        if (e.key === 'ArrowDown')
            next = Math.min(last, at + 1);
        else if (e.key === 'ArrowUp')
            next = Math.max(0, at - 1);
        else if (e.key === 'Home')
            next = 0;
        else if (e.key === 'End')
            next = last;
        else if (e.key === 'PageDown')
            next = Math.min(last, at + 10);
        else if (e.key === 'PageUp')
            next = Math.max(0, at - 10);
        else if (e.key === 'Enter' && at >= 0) {
            e.preventDefault();
            e.stopPropagation();
            openItem(shownItems[at]);
            return;
        } else if (e.key === 'Backspace') {
            e.preventDefault();
            up.click();
            return;
        } else if (e.key.length === 1 && !e.ctrlKey && !e.altKey && !e.metaKey) {
            // Type-ahead: the letters typed within a moment of each other
            // pick the first item whose name starts with them.
            var now = Date.now();
            typed = (now - typedAt > 800 ? '' : typed) + e.key.toLowerCase();
            typedAt = now;
            var found = shownItems.filter(function(el) {
                return el.entry.name.toLowerCase().indexOf(typed) === 0;
            })[0];
            if (found)
                select(found);
            e.preventDefault();
            return;
        } else {
            return;
        }
        e.preventDefault();
        if (last >= 0)
            select(shownItems[Math.max(0, next)]);
    });

    function render() {
        list.textContent = '';
        shownItems = [];
        list.removeAttribute('aria-activedescendant');
        var patterns = filters[Number(typeSelect.value) || 0].patterns;
        entries.forEach(function(entry) {
            if (entry.name.charAt(0) === '.')
                return;
            if (!entry.dir && !matches(entry.name, patterns))
                return;
            var item = element(
                'div', 'reqwiz-item ' + (entry.dir ? 'reqwiz-folder' : 'reqwiz-file'), entry.name);
            item.setAttribute('role', 'option');
            item.setAttribute('aria-selected', 'false');
            item.id = 'reqwiz-item-' + shownItems.length;
            item.entry = entry;
            shownItems.push(item);
            item.addEventListener('click', function() { select(item); });
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
            showPlaces(body.places);
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
