// The live view's shared feed: one event stream from the host for every tab of this browser
// open on the view (a browser gives a host six connections, so a stream per tab would leave a
// seventh tab without answers). Each tab's page connects to this worker and gets the latest
// state at once, then every state the host pushes, and the stream's open or error events.
'use strict';

const tabs = new Set();
let latest = null;
let status = 'connecting';

function tell(message) {
  for (const port of tabs) port.postMessage(message);
}

const events = new EventSource('/events');
events.onopen = () => { status = 'open'; tell({ kind: 'open' }); };
events.onerror = () => { status = 'error'; tell({ kind: 'error' }); };
events.onmessage = (event) => { latest = event.data; tell({ kind: 'state', data: event.data }); };

onconnect = (event) => {
  const port = event.ports[0];
  tabs.add(port);
  // A tab that closes says so first; one that vanished is only written to, which is harmless.
  port.onmessage = (message) => { if (message.data === 'bye') tabs.delete(port); };
  port.start();
  if (status === 'open') port.postMessage({ kind: 'open' });
  if (latest !== null) port.postMessage({ kind: 'state', data: latest });
};
