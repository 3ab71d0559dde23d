// Solves an EPANET input file with the EPANET 2.2 engine (epanet-js) and prints what the tests
// read: the model's counts, the engine's error or warning, and the pressures at the junctions.
//
//   node solve.mjs MODEL.inp
//
// Prints one JSON object; exits 1 when the engine refuses the model.
import { Project, Workspace, CountType, NodeProperty, NodeType, LinkProperty } from "epanet-js";
import fs from "fs";

const ws = new Workspace();
await ws.loadModule();
const model = new Project(ws);
ws.writeFile("model.inp", fs.readFileSync(process.argv[2]));
const result = {};
try {
  model.open("model.inp", "report.rpt", "out.bin");
  result.nodes = model.getCount(CountType.NodeCount);
  result.links = model.getCount(CountType.LinkCount);
  model.solveH();
  const pressures = [];
  let flowing = 0;
  for (let i = 1; i <= result.nodes; i++) {
    if (model.getNodeType(i) !== NodeType.Junction) continue;
    pressures.push(model.getNodeValue(i, NodeProperty.Pressure));
  }
  for (let i = 1; i <= result.links; i++)
    if (Math.abs(model.getLinkValue(i, LinkProperty.Flow)) > 1e-6) flowing++;
  result.junctions = pressures.length;
  // A loop, not Math.min(...): a city's junctions are more arguments than a call may take.
  result.minPressure = pressures.reduce((a, b) => Math.min(a, b), Infinity);
  result.maxPressure = pressures.reduce((a, b) => Math.max(a, b), -Infinity);
  result.flowingLinks = flowing;
  result.demand = 0;
  for (let i = 1; i <= result.nodes; i++)
    if (model.getNodeType(i) === NodeType.Junction)
      result.demand += model.getNodeValue(i, NodeProperty.Demand);
  model.close();
  result.ok = true;
} catch (e) {
  result.ok = false;
  result.error = String(e.message || e);
}
result.report = ws.readFile("report.rpt").split("\n").filter((l) => /Error|WARNING/i.test(l));
console.log(JSON.stringify(result));
process.exit(result.ok ? 0 : 1);
