// The sample editor page of Vesklar. It uses everything the launcher offers
// a page: the bootstrap object (save address and version), the media store
// (upload, playback with seeking, copy, project removal), the export to
// Downloads, the update endpoint, and the quit beacon when the page closes.
// Plain JavaScript, no build step.
'use strict';

(function () {
  const launcher = window.VesklarWindows || null;
  const $ = (id) => document.getElementById(id);

  // ---------------------------------------------------------------------
  // The page's own record of projects and items.
  //
  // The launcher stores media files but keeps no listing of them: there is
  // no request that tells which items a project holds. So the page keeps
  // its own record in localStorage (the launcher's app window has a browser
  // profile of its own, so the record lives as long as that profile):
  //   { current: projectId,
  //     projects: [{ id, name, items: [{ id, name, type, size, added }] }] }
  // ---------------------------------------------------------------------
  const STORE_KEY = 'vesklar.editor.v1';
  let record = { current: null, projects: [] };

  function loadRecord() {
    try {
      const saved = JSON.parse(localStorage.getItem(STORE_KEY));
      if (saved && Array.isArray(saved.projects)) return saved;
    } catch (e) { /* an unreadable record starts afresh */ }
    return null;
  }

  function saveRecord() {
    localStorage.setItem(STORE_KEY, JSON.stringify(record));
  }

  function findProject(id) {
    return record.projects.find((p) => p.id === id) || null;
  }

  function currentProject() {
    return findProject(record.current);
  }

  // Identifiers. The launcher turns every character outside A-Z, a-z, 0-9,
  // '-' and '_' into '_' and keeps 80 of them, and Windows file names ignore
  // letter case; so the page picks identifiers of lower-case letters, digits
  // and '-' only, which reach the disk unchanged and never collide.
  function projectIdFor(name) {
    const base = name.normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase()
      .replace(/[^a-z0-9]+/g, '-').replace(/^-+|-+$/g, '').slice(0, 40) || 'proyecto';
    let id = base;
    for (let n = 2; findProject(id); n++) id = `${base}-${n}`;
    return id;
  }

  function newMediaId() {
    return `m${Date.now().toString(36)}${Math.random().toString(36).slice(2, 8)}`;
  }

  function mediaUrl(projectId, itemId) {
    return `/__media/${encodeURIComponent(projectId)}/${encodeURIComponent(itemId)}`;
  }

  // Each project has its own address, /proyecto/<id>. The launcher answers
  // every path without a file extension with this same page, so a reload
  // stays on the project. replaceState, not pushState: a window whose
  // history holds a single entry may still close itself ("Cerrar").
  function projectFromAddress() {
    const m = location.pathname.match(/^\/proyecto\/([a-z0-9-]+)\/?$/);
    return m ? m[1] : null;
  }

  function showProjectAddress(id) {
    const path = id ? `/proyecto/${id}` : '/';
    if (location.pathname !== path) history.replaceState(null, '', path);
  }

  // ---------------------------------------------------------------------
  // Talking to the launcher, and what its failure answers mean.
  // ---------------------------------------------------------------------
  const LEAD = {
    upload: 'No se pudo subir el archivo',
    play: 'No se puede reproducir',
    copy: 'No se pudo copiar',
    save: 'No se pudo exportar',
    remove: 'No se pudo eliminar el proyecto',
    update: 'No se pudo consultar o iniciar la actualización',
  };

  // Status and body word of each failure answer, by action.
  const REASONS = {
    upload: {
      '400 bad-id': 'falta el identificador del proyecto o del elemento.',
      '411 length': 'el lanzador no recibió el tamaño del archivo.',
      '500 disk': 'no se puede guardar en la carpeta de datos de Vesklar (¿disco lleno o sin permiso de escritura?).',
      '500 move': 'no se pudo colocar en su sitio porque el elemento que sustituye está en uso.',
    },
    play: {
      '400 bad': 'el identificador del proyecto no es válido.',
      '404 Not Found': 'el elemento ya no está en el almacén de Vesklar.',
    },
    copy: {
      '404 missing': 'el elemento ya no está en el almacén de Vesklar, o la copia de destino está en uso.',
    },
    save: {
      '404 Not Found': 'el elemento ya no está en el almacén de Vesklar.',
      '411 length': 'el lanzador no recibió el tamaño del archivo.',
      '500 disk': 'no se puede crear el archivo en la carpeta Descargas (¿disco lleno o sin permiso de escritura?).',
    },
    update: {
      '500 {"available":true,"started":false}': 'la descarga o la instalación de la versión nueva ha fallado. Inténtalo más tarde.',
    },
  };

  // No answer at all: the launcher closed the connection without one (an
  // upload or export whose file could not be received or written) or it is
  // no longer running.
  const NO_ANSWER = {
    upload: 'la subida se interrumpió: el lanzador no pudo recibir o guardar el archivo (¿disco lleno?) o se ha cerrado.',
    save: 'la exportación se interrumpió: el lanzador no pudo recibir o guardar el archivo (¿disco lleno?) o se ha cerrado.',
    other: 'no hay respuesta del lanzador. ¿Se ha cerrado Vesklar?',
  };

  function failure(action, status, body) {
    let reason;
    if (status === 0) {
      reason = NO_ANSWER[action] || NO_ANSWER.other;
    } else if ((REASONS[action] || {})[`${status} ${body}`]) {
      reason = REASONS[action][`${status} ${body}`];
    } else if (status === 405) {
      reason = 'esta versión del lanzador no admite la petición.';
    } else {
      reason = `el lanzador respondió con un error inesperado (${status} «${String(body).slice(0, 80)}»).`;
    }
    return `${LEAD[action]}: ${reason}`;
  }

  // One request; status 0 when no answer came.
  async function call(method, url, body, headers) {
    try {
      const res = await fetch(url, { method, body, headers, cache: 'no-store' });
      return { status: res.status, body: await res.text() };
    } catch (e) {
      return { status: 0, body: '' };
    }
  }

  // An upload with progress: fetch cannot report how much of a request body
  // has gone out, XMLHttpRequest can.
  function uploadFile(url, file, type, onProgress) {
    return new Promise((resolve) => {
      const xhr = new XMLHttpRequest();
      xhr.open('POST', url);
      xhr.setRequestHeader('Content-Type', type);
      xhr.upload.onprogress = (e) => {
        if (e.lengthComputable && e.total > 0) onProgress(e.loaded / e.total);
      };
      xhr.onload = () => resolve({ status: xhr.status, body: xhr.responseText });
      xhr.onerror = () => resolve({ status: 0, body: '' });
      xhr.onabort = () => resolve({ status: 0, body: '' });
      xhr.send(file);
    });
  }

  // ---------------------------------------------------------------------
  // Messages
  // ---------------------------------------------------------------------
  function say(text, kind) {
    const box = $('message');
    box.textContent = text;
    box.className = `message ${kind || 'info'}`;
    box.dataset.kind = kind || 'info';
    box.hidden = false;
  }

  const numberEs = new Intl.NumberFormat('es', { maximumFractionDigits: 1 });

  function sizeText(bytes) {
    if (bytes >= 1048576) return `${numberEs.format(bytes / 1048576)} MB`;
    if (bytes >= 1024) return `${numberEs.format(bytes / 1024)} KB`;
    return `${bytes} bytes`;
  }

  const TYPES = {
    mp4: 'video/mp4', m4v: 'video/mp4', webm: 'video/webm', mov: 'video/quicktime', mkv: 'video/x-matroska',
    mp3: 'audio/mpeg', m4a: 'audio/mp4', wav: 'audio/wav', ogg: 'audio/ogg', oga: 'audio/ogg',
    opus: 'audio/ogg', flac: 'audio/flac', aac: 'audio/aac',
  };

  function typeOf(file) {
    if (file.type) return file.type;
    const dot = file.name.lastIndexOf('.');
    return TYPES[file.name.slice(dot + 1).toLowerCase()] || 'application/octet-stream';
  }

  // ---------------------------------------------------------------------
  // Projects
  // ---------------------------------------------------------------------
  function selectProject(id) {
    record.current = id;
    saveRecord();
    showProjectAddress(id);
    render();
  }

  function createProject(name) {
    const project = { id: projectIdFor(name), name, items: [] };
    record.projects.push(project);
    selectProject(project.id);
    return project;
  }

  async function removeProject() {
    const project = currentProject();
    if (!project) return;
    const question = `¿Eliminar el proyecto «${project.name}» y sus ${project.items.length} elementos? ` +
      'Los archivos se borran del disco y no se pueden recuperar.';
    if (!window.confirm(question)) return;
    // A file that is still being played cannot be deleted (the launcher
    // opens it for reading only while it streams), so let go of it first.
    unloadPlayers();
    let left = project.items;
    for (let attempt = 0; attempt < 4; attempt++) {
      if (attempt > 0) await new Promise((r) => setTimeout(r, 500));
      const answer = await call('DELETE', `/__media/${encodeURIComponent(project.id)}`);
      if (answer.status !== 200) {
        say(failure('remove', answer.status, answer.body), 'error');
        render();
        return;
      }
      // The launcher answers "ok" whatever it could delete: ask for each
      // item to find out what is still there.
      left = await storedItems(project);
      if (left.length === 0) break;
    }
    if (left.length > 0) {
      project.items = left;
      saveRecord();
      render();
      say(`${LEAD.remove}: ${left.length} de sus archivos siguen en uso y no se han podido borrar. ` +
        'Ciérralos e inténtalo de nuevo.', 'error');
      return;
    }
    record.projects = record.projects.filter((p) => p !== project);
    const next = record.projects[0];
    selectProject(next ? next.id : null);
    say(`El proyecto «${project.name}» se ha eliminado.`, 'ok');
  }

  async function storedItems(project) {
    const out = [];
    for (const item of project.items) {
      const answer = await call('GET', mediaUrl(project.id, item.id), undefined, { Range: 'bytes=0-0' });
      if (answer.status === 200 || answer.status === 206) out.push(item);
    }
    return out;
  }

  // ---------------------------------------------------------------------
  // Items
  // ---------------------------------------------------------------------
  function unloadPlayers() {
    // Detaching the source ends the browser's download of the item.
    for (const media of document.querySelectorAll('#items video, #items audio')) {
      media.pause();
      media.removeAttribute('src');
      media.load();
    }
  }

  async function explainPlaybackError(src, box) {
    // The media element does not tell why it failed; one byte of the item
    // does: a failure answer, or a format the browser cannot play.
    const answer = await call('GET', src, undefined, { Range: 'bytes=0-0' });
    box.textContent = answer.status === 200 || answer.status === 206
      ? `${LEAD.play}: el navegador no admite el formato de este archivo.`
      : failure('play', answer.status, answer.body);
    box.hidden = false;
  }

  async function copyItem(project, item, targetId) {
    const target = findProject(targetId);
    if (!target) return;
    const copy = { ...item, id: newMediaId(), added: Date.now() };
    const query = new URLSearchParams({
      fromProject: project.id, fromId: item.id, toProject: target.id, toId: copy.id,
    });
    const answer = await call('POST', `/__media-copy?${query}`);
    if (answer.status === 200 && answer.body === 'ok') {
      target.items.push(copy);
      saveRecord();
      say(`«${item.name}» se ha copiado al proyecto «${target.name}».`, 'ok');
    } else {
      say(failure('copy', answer.status, answer.body), 'error');
    }
  }

  async function exportItem(project, item) {
    say(`Exportando «${item.name}» a Descargas…`, 'info');
    let bytes;
    try {
      const res = await fetch(mediaUrl(project.id, item.id), { cache: 'no-store' });
      if (!res.ok) {
        say(failure('save', res.status, await res.text()), 'error');
        return;
      }
      bytes = await res.blob();
    } catch (e) {
      say(failure('save', 0, ''), 'error');
      return;
    }
    // The launcher picks a free name in Downloads: "clip.mp4", or
    // "clip-2.mp4" when that exists, and so on.
    const answer = await call('POST', `${launcher.saveUrl}?name=${encodeURIComponent(item.name)}`, bytes);
    if (answer.status === 200 && answer.body === 'ok') {
      say(`«${item.name}» se ha guardado en la carpeta Descargas. Si ya había un archivo con ese nombre, ` +
        'el nuevo lleva un número (por ejemplo «clip-2.mp4»).', 'ok');
    } else {
      say(failure('save', answer.status, answer.body), 'error');
    }
  }

  function itemElement(project, item) {
    const li = $('item-template').content.firstElementChild.cloneNode(true);
    li.dataset.id = item.id;
    li.querySelector('.item-name').textContent = item.name;
    const added = new Date(item.added).toLocaleString('es');
    li.querySelector('.item-info').textContent = `${item.type} · ${sizeText(item.size)} · subido el ${added}`;

    const src = mediaUrl(project.id, item.id);
    const media = document.createElement(item.type.startsWith('audio/') ? 'audio' : 'video');
    media.controls = true;
    media.preload = 'metadata';
    media.src = src;
    const errorBox = li.querySelector('.item-error');
    media.addEventListener('error', () => explainPlaybackError(src, errorBox));
    li.querySelector('.player').appendChild(media);

    const select = li.querySelector('.copy-target');
    const copyButton = li.querySelector('.copy');
    const others = record.projects.filter((p) => p !== project);
    for (const p of others) select.add(new Option(p.name, p.id));
    if (others.length === 0) {
      select.add(new Option('(crea otro proyecto)', ''));
      select.disabled = true;
      copyButton.disabled = true;
    }
    copyButton.addEventListener('click', () => copyItem(project, item, select.value));
    li.querySelector('.export').addEventListener('click', () => exportItem(project, item));
    return li;
  }

  function render() {
    const project = currentProject();
    const picker = $('project');
    picker.replaceChildren(...record.projects.map((p) => new Option(p.name, p.id, false, p === project)));
    picker.disabled = record.projects.length === 0;
    $('remove-project').disabled = !project;
    $('upload-button').disabled = !project;

    unloadPlayers();
    const list = $('items');
    list.replaceChildren(...(project ? project.items.map((item) => itemElement(project, item)) : []));
    $('empty').textContent = project
      ? 'Este proyecto aún no tiene elementos. Sube un vídeo o un audio.'
      : 'No hay ningún proyecto. Crea uno para empezar.';
    $('empty').hidden = !!project && project.items.length > 0;
  }

  // ---------------------------------------------------------------------
  // Upload
  // ---------------------------------------------------------------------
  function showProgress(fraction) {
    const percent = Math.round(fraction * 100);
    $('upload-progress').value = percent;
    $('upload-percent').textContent = `${percent} %`;
  }

  async function uploadSelected(event) {
    event.preventDefault();
    const file = $('file').files[0];
    const project = currentProject();
    if (!file || !project) return;
    const item = { id: newMediaId(), name: file.name, type: typeOf(file), size: file.size, added: Date.now() };
    const query = new URLSearchParams({ project: project.id, id: item.id, mime: item.type });
    $('upload-button').disabled = true;
    $('upload-status').hidden = false;
    showProgress(0);
    say(`Subiendo «${file.name}»…`, 'info');
    const answer = await uploadFile(`/__media?${query}`, file, item.type, showProgress);
    $('upload-button').disabled = false;
    if (answer.status === 200 && answer.body === 'ok') {
      showProgress(1);
      project.items.push(item);
      saveRecord();
      $('upload').reset();
      render();
      say(`«${file.name}» se ha subido al proyecto «${project.name}».`, 'ok');
    } else {
      say(failure('upload', answer.status, answer.body), 'error');
    }
  }

  // ---------------------------------------------------------------------
  // Updates
  // ---------------------------------------------------------------------
  function parseJson(text) {
    try { return JSON.parse(text); } catch (e) { return null; }
  }

  async function checkUpdate() {
    const state = $('update-state');
    const start = $('update-start');
    start.hidden = true;
    state.textContent = 'Comprobando si hay una versión nueva…';
    // Each request makes the launcher ask the update host afresh.
    const answer = await call('GET', '/__update');
    const doc = parseJson(answer.body);
    if (answer.status !== 200 || !doc) {
      state.textContent = failure('update', answer.status, answer.body);
      return;
    }
    if (doc.available) {
      state.textContent = `Hay una versión nueva: ${doc.name} (número ${doc.latest}; tienes el ${doc.current}).`;
      start.hidden = false;
      start.disabled = false;
    } else if (doc.checked === false) {
      // The launcher could not read the update host's list of versions, so
      // it cannot say whether this one is the newest. (A launcher too old
      // to say so leaves the member out.)
      state.textContent = 'No se ha podido comprobar si hay una versión nueva ' +
        `(tienes la ${launcher.versionName || doc.current}). Inténtalo más tarde.`;
    } else {
      state.textContent = `Tienes la versión más reciente (${launcher.versionName || doc.current}).`;
    }
  }

  async function startUpdate() {
    $('update-start').disabled = true;
    say('Descargando la actualización… Vesklar te avisará antes de instalarla; después se cerrará ' +
      'y volverá a abrirse con la versión nueva.', 'info');
    const answer = await call('POST', '/__update');
    const doc = parseJson(answer.body);
    if (answer.status === 200 && doc && doc.started) {
      say('La actualización ha comenzado. Vesklar se cerrará y volverá a abrirse con la versión nueva.', 'ok');
    } else if (answer.status === 200 && doc && doc.available === false) {
      say('Ya no hay ninguna actualización disponible.', 'info');
      checkUpdate();
    } else if (answer.status === 0) {
      // A started update ends the launcher at once, which can cut the answer.
      say('Se ha perdido la conexión con el lanzador. Si la actualización ha comenzado, ' +
        'Vesklar volverá a abrirse en unos momentos.', 'info');
    } else {
      say(failure('update', answer.status, answer.body), 'error');
      $('update-start').disabled = false;
    }
  }

  // ---------------------------------------------------------------------
  // Start
  // ---------------------------------------------------------------------
  function closeWindow() {
    // Closing fires "pagehide", on which the launcher's bootstrap script
    // tells the launcher that this page is gone (the quit beacon); the
    // launcher ends 1.6 s later unless a page is still open or comes back (a
    // reload) in the meantime. Chromium, though, does not deliver beacons
    // sent from "pagehide" when a window without an opener closes itself, as
    // the app window does here: so the page raises "pagehide" itself first,
    // and the bootstrap sends its beacon from there. The one from the real
    // "pagehide" that follows says the same and does no harm.
    window.dispatchEvent(new Event('pagehide'));
    window.close();
    // Still here a second later: the browser refused to close the window.
    // "pageshow" makes the bootstrap announce the page as open again, which
    // also cancels the pending quit.
    setTimeout(() => {
      window.dispatchEvent(new Event('pageshow'));
      say('El navegador no deja que la página cierre esta ventana: ciérrala tú y Vesklar terminará solo.', 'info');
    }, 1000);
  }

  function start() {
    if (!launcher) {
      $('notice').hidden = false;
      $('editor').hidden = true;
      $('close').hidden = true;
      $('version').textContent = 'Sin el lanzador';
      return;
    }
    $('version').textContent = launcher.versionName
      ? `Versión ${launcher.versionName} (número ${launcher.version})`
      : 'Versión desconocida';
    document.title = launcher.versionName ? `Vesklar ${launcher.versionName}` : 'Vesklar';

    const saved = loadRecord();
    if (saved) {
      record = saved;
    } else {
      record.projects.push({ id: 'mi-proyecto', name: 'Mi proyecto', items: [] });
      record.current = 'mi-proyecto';
      saveRecord();
    }
    const wanted = projectFromAddress();
    if (wanted && findProject(wanted)) {
      record.current = wanted;
    } else if (wanted) {
      say(`No hay ningún proyecto «${wanted}» en este editor; se muestra otro.`, 'error');
    }
    if (!currentProject()) record.current = record.projects.length ? record.projects[0].id : null;
    showProjectAddress(record.current);
    render();

    $('project').addEventListener('change', (e) => selectProject(e.target.value));
    $('new-project').addEventListener('submit', (e) => {
      e.preventDefault();
      const name = $('new-project-name').value.trim();
      if (!name) return;
      const project = createProject(name);
      $('new-project').reset();
      say(`Proyecto «${project.name}» creado.`, 'ok');
    });
    $('remove-project').addEventListener('click', removeProject);
    $('upload').addEventListener('submit', uploadSelected);
    $('update-check').addEventListener('click', checkUpdate);
    $('update-start').addEventListener('click', startUpdate);
    $('close').addEventListener('click', closeWindow);
    checkUpdate();
  }

  start();
})();
