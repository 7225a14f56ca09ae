// The save dialog: browse folders through the program (by the list, the
// places or a typed folder), make a new folder, type a name, the filter and
// default extension as given, ask before overwriting.

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

// Asks the program for the new folder `name` in `parent`: {path} when made,
// else {error} with one of the program's codes.
function makeFolder(parent, name) {
    return fetch(BASE + 'mkdir', {
               method: 'POST',
               credentials: 'same-origin',
               cache: 'no-store',
               headers: {'Content-Type': 'application/json'},
               body: JSON.stringify({path: parent, name: name})
           })
        .then(function(r) {
            return r.json().catch(function() { return {error: 'failed'}; });
        })
        .catch(function() { return {error: 'offline'}; });
}

// What the user reads when a folder could not be made; `full` is the
// folder's path as asked.
function folderProblem(code, full, parent) {
    var cannot = 'No se puede crear la carpeta ' + full;
    switch (code) {
    case 'empty':
        return 'Escriba el nombre de la carpeta.';
    case 'invalid':
        return 'Ese nombre no sirve para una carpeta: no puede ser \u00ab.\u00bb ni ' +
            '\u00ab..\u00bb, ni contener \u00ab/\u00bb ni caracteres de control.';
    case 'toolong':
        return 'El nombre es demasiado largo para una carpeta.';
    case 'latin1':
        return 'El nombre tiene un car\u00e1cter que no est\u00e1 permitido (como el signo ' +
            'del euro): use solo letras, n\u00fameros y signos del alfabeto latino.';
    case 'exists':
        return 'Ya existe una carpeta o un archivo con ese nombre.';
    case 'denied':
        return cannot + ': permiso denegado.';
    case 'readonly':
        return cannot + ': el disco es de solo lectura.';
    case 'notfound':
        return cannot + ': la carpeta ' + parent + ' ya no existe.';
    case 'nospace':
        return cannot + ': no queda espacio en el disco.';
    case 'offline':
        return cannot + ': el programa no responde.';
    default:
        return cannot + '.';
    }
}

// Why a folder could not be listed.
function listProblem(code, path) {
    switch (code) {
    case 'notfound':
        return 'La carpeta ' + path + ' no existe.';
    case 'notdir':
        return path + ' no es una carpeta.';
    case 'denied':
        return 'No se puede abrir la carpeta ' + path + ': permiso denegado.';
    default:
        return 'No se puede abrir la carpeta ' + path + '.';
    }
}

// A file's size as a file manager writes it in Spanish: "3 bytes",
// "1 KB", "2,5 MB" (units of 1024, one decimal below ten).
function formatSize(bytes) {
    if (typeof bytes !== 'number' || !(bytes >= 0))
        return '';
    if (bytes < 1024)
        return bytes === 1 ? '1 byte' : bytes + ' bytes';
    var units = ['KB', 'MB', 'GB', 'TB', 'PB'];
    var value = bytes / 1024;
    var unit = 0;
    for (;;) {
        var shown = value < 10 ? Math.round(value * 10) / 10 : Math.round(value);
        if (shown < 1024 || unit === units.length - 1)
            return String(shown).replace('.', ',') + ' ' + units[unit];
        value /= 1024;
        unit++;
    }
}

// A modification time (seconds since 1970) as dd/mm/aaaa hh:mm, local time.
function formatDate(seconds) {
    if (typeof seconds !== 'number')
        return '';
    var date = new Date(seconds * 1000);
    if (isNaN(date.getTime()))
        return '';
    function two(n) { return (n < 10 ? '0' : '') + n; }
    return two(date.getDate()) + '/' + two(date.getMonth() + 1) + '/' + date.getFullYear() + ' ' +
        two(date.getHours()) + ':' + two(date.getMinutes());
}

// A row of the dialogs: a label and the one-line text field it names.
function labelledField(labelText, id, className) {
    var row = element('div', 'reqwiz-row');
    var label = element('label', 'reqwiz-label', labelText);
    row.appendChild(label);
    var input = element('input', className);
    input.id = id;
    label.htmlFor = input.id;
    input.type = 'text';
    input.setAttribute('autocomplete', 'off');
    row.appendChild(input);
    return {row: row, input: input};
}

// The small dialog that names a new folder in `parent` and makes it:
// answers the new folder's path, or null when cancelled. A refused name
// keeps it open with the reason under the field.
function askFolderName(parent) {
    var content = element('div', 'reqwiz-prompt-body');
    var field = labelledField('Nombre:', 'reqwiz-folder-name', 'reqwiz-name reqwiz-folder-name');
    var input = field.input;
    input.spellcheck = false;
    content.appendChild(field.row);
    var problem = element('div', 'reqwiz-problem');
    problem.id = 'reqwiz-folder-problem';
    problem.setAttribute('role', 'alert');
    input.setAttribute('aria-describedby', problem.id);
    content.appendChild(problem);

    var box = null;
    var busy = false;
    function refuse(text) {
        problem.textContent = text;
        input.focus();
        input.select();
        return undefined;
    }
    function create() {
        if (busy)
            return undefined;
        var name = input.value.trim();
        if (!name)
            return refuse(folderProblem('empty'));
        busy = true;
        return makeFolder(parent, name).then(function(answer) {
            busy = false;
            if (answer && typeof answer.path === 'string')
                return answer.path;
            return refuse(folderProblem(answer && answer.error, joinPath(parent, name), parent));
        });
    }
    input.addEventListener('keydown', function(e) {
        if (e.key === 'Enter') {
            e.preventDefault();
            if (box)
                box.defaultButton.click();
        }
    });
    content.addEventListener('reqwiz-open', function(e) {
        box = e.detail;
        input.focus();
    });
    return openBox(
        'Nueva carpeta', content, [{label: 'Crear', check: create}, {label: 'Cancelar', value: null}],
        null, 'reqwiz-prompt');
}

function saveDialog(command) {
    var filters = parseFilter(command.filter);
    var extension = command.extension || '';
    var current = '';
    var entries = [];

    var content = element('div', 'reqwiz-save-body');
    // The folder shown, which the user may also type: Enter goes there.
    var whereField = labelledField('Guardar en:', 'reqwiz-save-path', 'reqwiz-path');
    var top = whereField.row;
    var where = whereField.input;
    where.spellcheck = false;
    var up = element('button', 'reqwiz-button reqwiz-up', '\u2191');
    up.type = 'button';
    up.title = 'Subir un nivel';
    up.setAttribute('aria-label', 'Subir un nivel');
    top.appendChild(up);
    var newFolder = element('button', 'reqwiz-button reqwiz-new-folder', 'Nueva carpeta');
    newFolder.type = 'button';
    newFolder.title = 'Crear una carpeta en la carpeta mostrada';
    top.appendChild(newFolder);
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

    // The list under its column headings. The headings are for the eye:
    // each item names its own size and date to assistive technology.
    var files = element('div', 'reqwiz-files');
    var headings = element('div', 'reqwiz-columns');
    headings.setAttribute('aria-hidden', 'true');
    headings.appendChild(element('span', 'reqwiz-col-name', 'Nombre'));
    headings.appendChild(element('span', 'reqwiz-col-size', 'Tama\u00f1o'));
    headings.appendChild(element('span', 'reqwiz-col-date', 'Fecha de modificaci\u00f3n'));
    files.appendChild(headings);
    var list = element('div', 'reqwiz-list');
    list.setAttribute('role', 'listbox');
    list.setAttribute('aria-label', 'Carpetas y archivos');
    list.tabIndex = 0;
    files.appendChild(list);
    content.appendChild(files);

    var problem = element('div', 'reqwiz-problem');
    problem.setAttribute('aria-live', 'polite');
    content.appendChild(problem);

    var nameField = labelledField('Nombre:', 'reqwiz-save-name', 'reqwiz-name');
    var nameRow = nameField.row;
    var nameInput = nameField.input;
    nameInput.value = command.name || '';
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
            var item = element('div', 'reqwiz-item ' + (entry.dir ? 'reqwiz-folder' : 'reqwiz-file'));
            var size = entry.dir ? '' : formatSize(entry.size);
            var date = formatDate(entry.mtime);
            // The item is named by what it shows, read as one sentence: the
            // words between the columns are for assistive technology alone.
            item.appendChild(element('span', 'reqwiz-item-name', entry.name));
            item.appendChild(element('span', 'reqwiz-unseen', entry.dir ? ', carpeta' : ', '));
            item.appendChild(element('span', 'reqwiz-item-size', size));
            item.appendChild(element('span', 'reqwiz-unseen', date ? ', modificado el ' : ''));
            item.appendChild(element('span', 'reqwiz-item-date', date));
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

    // A listing that arrives while the user types in the field, or is about
    // to (it has the focus), leaves it alone; leaving the field, or Enter,
    // shows the folder again.
    var edited = false;
    where.addEventListener('input', function() { edited = true; });
    function showFolder(force) {
        if (!force && (edited || document.activeElement === where))
            return;
        edited = false;
        where.value = current;
        where.title = current;
        // The folder's end matters most: the field shows it.
        where.scrollLeft = where.scrollWidth;
    }

    // Goes to the folder `path`: true when shown, false (with the reason in
    // the problem line) when it cannot be, null when a later browse has
    // overtaken it. Answers may arrive out of order; only the last asked
    // is shown.
    // The list is busy while any listing is awaited.
    var browsing = 0;
    var awaited = 0;
    function browse(path) {
        var serial = ++browsing;
        awaited++;
        list.setAttribute('aria-busy', 'true');
        return listFolder(path).then(function(body) {
            if (--awaited === 0)
                list.removeAttribute('aria-busy');
            if (serial !== browsing)
                return null;
            if (!body.ok) {
                problem.textContent = listProblem(body.error, body.path || path);
                return false;
            }
            problem.textContent = '';
            showPlaces(body.places);
            current = body.path;
            entries = body.entries || [];
            showFolder();
            render();
            list.scrollTop = 0;
            return true;
        });
    }

    // The folder typed into "Guardar en:": absolute, from the home folder
    // ("~"), or from the folder shown.
    function browseTyped() {
        var typed = where.value.trim();
        edited = false;
        if (!typed) {
            showFolder();
            return;
        }
        var target = typed.charAt(0) === '/' || typed === '~' || typed.indexOf('~/') === 0 ?
            typed :
            joinPath(current, typed);
        browse(target).then(function(ok) {
            if (ok) {
                showFolder(true);
                list.focus();
            } else if (ok === false) {
                edited = where.value !== current;
                where.focus();
                where.select();
            }
        });
    }
    where.addEventListener('keydown', function(e) {
        if (e.key === 'Enter') {
            e.preventDefault();
            e.stopPropagation();
            browseTyped();
        } else if (e.key === 'Escape' && where.value !== current) {
            // The first Escape gives back the folder shown; the next closes.
            e.preventDefault();
            e.stopPropagation();
            problem.textContent = '';
            showFolder(true);
        }
    });
    // A folder typed but not gone to is given up when the field is left:
    // the field always names the folder the file would be saved in.
    where.addEventListener('blur', function() {
        if (where.value !== current) {
            problem.textContent = '';
            showFolder(true);
        }
    });

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
    // A new folder is made in the folder shown and entered, ready for the
    // file's name.
    newFolder.addEventListener('click', function() {
        askFolderName(current).then(function(made) {
            if (!made) {
                newFolder.focus();
                return;
            }
            browse(made).then(function() { nameInput.focus(); });
        });
    });
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
        if (ok === false)
            return browse('');
    });
    return shown;
}
